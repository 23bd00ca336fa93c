// Names, help, shortcut keys and spoken values of the panel's controls.
#include "app/panelaccess.h"

#include "access/spoken.h"
#include "app/display.h"
#include "app/resource.h"
#include "app/velkor.h"
#include "link/execthread.h"
#include "protocol/radiostate.h"
#include "stations/panel.h"

#include <array>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace {

using a11y::ShortcutCommand;

struct ControlText {
    int id;
    LPCSTR szName; // nullptr: the caption names it
    LPCSTR szHelp; // nullptr: none
};

// Controls whose caption does not say what they are, or say enough.
constexpr auto controlTexts = std::to_array<ControlText>({
    {IDOK, "Exit", "End the program"},
    {IDC_RESTART, "Restart", "Restart the receiver"},
    {IDC_AUDIO, "Digital audio", "Play the receiver's audio"},
    {IDC_COM, "Port", "The serial port in use"},
    {IDC_LOCK, "Lock", "Lock the receiver's front panel"},
    {IDC_EXT, "Extended tuning", "Tune through the synthesizer's dividers"},
    {IDC_SUNIT, "S-meter", "Signal strength"},
    {IDC_FREQ, "Frequency", "The receiver's frequency"},
    {IDC_SPINFREQ, "Frequency", "Tune one step up or down"},
    {IDC_AM, nullptr, "Mode AM"},
    {IDC_CW, nullptr, "Mode CW"},
    {IDC_SSB, nullptr, "Mode SSB"},
    {IDC_MEMORY, "Memory channel", "Up and Down choose the channel"},
    {IDC_SPINMEMORY, "Memory channel", nullptr},
    {IDC_READ, nullptr, "Recall the memory channel"},
    {IDC_WRITE, nullptr, "Store the frequency in the memory channel"},
    {IDC_SPEED, "Tuning step", "Up and Down change the step"},
    {IDC_SPINSPEED, "Tuning step", nullptr},
    {IDC_DIRECT, "Direct entry",
     "Type a frequency in hertz, or in megahertz with a point, and press Enter; or a memory "
     "channel or a tuning step, and press Memory or Speed"},
    {IDC_BUTTONPOINT, "Point", nullptr},
    {IDC_BUTTONCLR, "Clear", "Clear the entry"},
    {IDC_SELFREQ, nullptr, "Tune to the frequency entered"},
    {IDC_SELMEMORY, nullptr, "Choose the memory channel entered"},
    {IDC_SELSPEED, nullptr, "Choose the tuning step entered"},
});

// The control that shows each shortcut in its tooltip.
struct ShortcutPlace {
    ShortcutCommand command;
    int id;
};
constexpr auto shortcutPlaces = std::to_array<ShortcutPlace>({
    {ShortcutCommand::DirectEntry, IDC_DIRECT},
    {ShortcutCommand::ReadFrequency, IDC_FREQ},
    {ShortcutCommand::Lock, IDC_LOCK},
    {ShortcutCommand::Enable, IDC_AUDIO},
    {ShortcutCommand::ReadSignal, IDC_SUNIT},
    {ShortcutCommand::NextMode, IDC_AM},
    {ShortcutCommand::NextMode, IDC_CW},
    {ShortcutCommand::NextMode, IDC_SSB},
});

// The shortcuts that the panel binds. Stations is bound by its system-menu
// item; Band Scope is left to the window it opens.
constexpr auto panelShortcuts = std::to_array<ShortcutCommand>({
    ShortcutCommand::DirectEntry,
    ShortcutCommand::StepUp,
    ShortcutCommand::StepDown,
    ShortcutCommand::BandUp,
    ShortcutCommand::BandDown,
    ShortcutCommand::NextMode,
    ShortcutCommand::Lock,
    ShortcutCommand::Enable,
    ShortcutCommand::ReadFrequency,
    ShortcutCommand::ReadSignal,
});

constexpr auto amateurButtons = std::to_array<int>(
    {IDC_160M, IDC_80M, IDC_60M, IDC_40M, IDC_30M, IDC_20M, IDC_17M, IDC_15M, IDC_12M, IDC_10M});
constexpr auto shortwaveButtons =
    std::to_array<int>({IDC_120M, IDC_90M, IDC_75M, IDC_60MSW, IDC_49M, IDC_41M, IDC_31M, IDC_25M,
                        IDC_22M, IDC_19M, IDC_16M, IDC_15MSW, IDC_13M, IDC_11M});

std::string keysOf(ShortcutCommand command) {
    return a11y::shortcutText(a11y::shortcutFor(command));
}

// "40m" is said "40 metre band"; its help names where it tunes.
void describeBandButton(HWND hDlg, int id) {
    HWND hButton = GetDlgItem(hDlg, id);
    std::array<char, 16> szCaption{};
    GetDlgItemTextA(hDlg, id, szCaption.data(), static_cast<int>(szCaption.size()));
    std::string szName = szCaption.data();
    if (!szName.empty() && szName.back() == 'm') {
        szName.pop_back();
        szName += " metre band";
    }
    SetAccPropStr(hButton, PROPID_ACC_NAME, szName.c_str());
    const std::string szHelp = "Tune to " + a11y::spokenMegahertz(bandFrequency(id));
    SetAccPropStr(hButton, PROPID_ACC_HELP, szHelp.c_str());
}

template <std::size_t n>
int nextOf(const std::array<int, n>& ids, DWORD ulFrequency, bool bUp, BOOL bShortwave) {
    const int covering = bandButton(ulFrequency, bShortwave);
    int best = 0;
    DWORD ulBest = 0;
    for (int id : ids) {
        const DWORD ulTune = bandFrequency(id);
        if (bUp && ulTune > ulFrequency && (best == 0 || ulTune < ulBest)) {
            best = id;
            ulBest = ulTune;
        }
        if (!bUp && ulTune < ulFrequency && id != covering && (best == 0 || ulTune > ulBest)) {
            best = id;
            ulBest = ulTune;
        }
    }
    return best;
}

// A field tells assistive technology of its new spoken value by itself.
void speak(int id, const std::string& szSpoken) {
    SetAccPropStr(GetDlgItem(hDlgHandle, id), PROPID_ACC_VALUE, szSpoken.c_str());
}

// What the frequency display and the direct-entry field tell, from what
// the panel shows; each phrase is set again only when it changes, so one
// change is one announcement.
struct Told {
    DWORD ulFrequency = 0;
    DWORD uMode = 0;
    bool bLocked = false;
    std::string szTuning;   // the frequency display's
    std::string szReceiver; // the direct-entry field's
};
Told told; // user-interface thread only

// The direct-entry field, where the focus stays while the listener types
// and tunes, describes the receiver as a whole: a screen reader that
// follows the focus speaks a change of its description, so a new
// frequency, station, mode or lock is heard without leaving the field.
void tellReceiver() {
    const std::string szStation = stationsNameAt(told.ulFrequency);
    std::string szTuning = a11y::spokenTuning(told.ulFrequency, szStation);
    std::string szReceiver =
        a11y::spokenReceiver(told.ulFrequency, szStation, modeWord(told.uMode), told.bLocked);
    if (szTuning != told.szTuning) {
        told.szTuning = std::move(szTuning);
        speak(IDC_FREQ, told.szTuning);
    }
    if (szReceiver != told.szReceiver) {
        told.szReceiver = std::move(szReceiver);
        speak(IDC_DIRECT, told.szReceiver);
    }
}

a11y::ChangeThrottle sUnitThrottle; // user-interface thread only

} // namespace

void DescribePanel(HWND hDlg) {
    for (const ControlText& text : controlTexts) {
        HWND hControl = GetDlgItem(hDlg, text.id);
        if (text.szName != nullptr) {
            SetAccPropStr(hControl, PROPID_ACC_NAME, text.szName);
        }
        if (text.szHelp != nullptr) {
            SetAccPropStr(hControl, PROPID_ACC_HELP, text.szHelp);
        }
    }
    for (int id : amateurButtons) {
        describeBandButton(hDlg, id);
    }
    for (int id : shortwaveButtons) {
        describeBandButton(hDlg, id);
    }
    for (const ShortcutPlace& place : shortcutPlaces) {
        SetAccPropStr(GetDlgItem(hDlg, place.id), PROPID_ACC_KEYBOARDSHORTCUT,
                      keysOf(place.command).c_str());
    }
    // The spinner's tooltip names both of its keys.
    const std::string szStepKeys =
        keysOf(ShortcutCommand::StepUp) + ", " + keysOf(ShortcutCommand::StepDown);
    SetAccPropStr(GetDlgItem(hDlg, IDC_SPINFREQ), PROPID_ACC_KEYBOARDSHORTCUT, szStepKeys.c_str());
    const std::string szBandKeys =
        keysOf(ShortcutCommand::BandUp) + ", " + keysOf(ShortcutCommand::BandDown);
    for (int id : amateurButtons) {
        SetAccPropStr(GetDlgItem(hDlg, id), PROPID_ACC_KEYBOARDSHORTCUT, szBandKeys.c_str());
    }
    for (int id : shortwaveButtons) {
        SetAccPropStr(GetDlgItem(hDlg, id), PROPID_ACC_KEYBOARDSHORTCUT, szBandKeys.c_str());
    }

    std::vector<ACCEL> accelerators;
    for (ShortcutCommand command : panelShortcuts) {
        const a11y::Shortcut& s = a11y::shortcutFor(command);
        // The shortcut table's modifier bits and key codes are the
        // accelerators' own.
        accelerators.push_back({static_cast<BYTE>(FVIRTKEY | s.modifiers), s.key,
                                static_cast<WORD>(IDA_FIRST + static_cast<int>(command))});
    }
    SetDialogAccelerators(hDlg, accelerators.data(), static_cast<int>(accelerators.size()));
    sUnitThrottle.reset();
    told = Told{};
}

BOOL shortcutOfCommand(int id, a11y::ShortcutCommand* pCommand) {
    for (const a11y::Shortcut& s : a11y::shortcuts) {
        if (IDA_FIRST + static_cast<int>(s.command) == id) {
            *pCommand = s.command;
            return TRUE;
        }
    }
    return FALSE;
}

int nextBand(DWORD ulFrequency, BOOL bShortwave, bool bUp) {
    return bShortwave ? nextOf(shortwaveButtons, ulFrequency, bUp, bShortwave)
                      : nextOf(amateurButtons, ulFrequency, bUp, bShortwave);
}

int nextModeButton(HWND hDlg) {
    if (IsDlgButtonChecked(hDlg, IDC_AM) == BST_CHECKED) {
        return IDC_CW;
    }
    if (IsDlgButtonChecked(hDlg, IDC_CW) == BST_CHECKED) {
        return IDC_SSB;
    }
    return IDC_AM;
}

void speakFrequency(DWORD ulValue) {
    told.ulFrequency = ulValue;
    tellReceiver();
}

void speakMode(DWORD uMode) {
    if (*modeWord(uMode) == '\0') {
        return; // a mode the panel has no button for: the display keeps the last
    }
    told.uMode = uMode;
    tellReceiver();
}

void speakLock(BOOL bLocked) {
    told.bLocked = bLocked != FALSE;
    tellReceiver();
}

void speakStation() {
    tellReceiver();
}

void repeatReceiver() {
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, GetDlgItem(hDlgHandle, IDC_DIRECT), OBJID_CLIENT,
                   CHILDID_SELF);
}

void speakMemory(DWORD uValue) {
    std::string szSpoken = std::to_string(uValue);
    if (const std::string szName = stationsMemoryName(uValue); !szName.empty()) {
        szSpoken += ", " + szName;
    }
    speak(IDC_MEMORY, szSpoken);
}

void speakSpeed(DWORD uValue) {
    speak(IDC_SPEED, a11y::spokenHertz(uValue));
}

void speakSUnits(DWORD uSUnits) {
    speak(IDC_SUNIT, a11y::spokenSUnits(uSUnits)); // announced by announceSUnits
}

void announceSUnits(DWORD uSUnits) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto uNowMs = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    if (sUnitThrottle.shouldAnnounce(uSUnits, uNowMs)) {
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, GetDlgItem(hDlgHandle, IDC_SUNIT), OBJID_CLIENT,
                       CHILDID_SELF);
    }
}
