// The receiver picture, the band map and the frequency text.
#include "app/display.h"

#include "app/panelaccess.h"
#include "app/resource.h"
#include "app/velkor.h"
#include "link/execthread.h"
#include "platform/dialog.h"
#include "protocol/comexecute.h"

#include <algorithm>
#include <array>
#include <cstdio>

RADIOSTATE state;

namespace {

std::array<char, 16> szDisplay;

struct BAND {
    int id;
    DWORD ulLower; // inclusive
    DWORD ulUpper; // exclusive
    DWORD ulTune;  // where a click on the button tunes
};

constexpr std::array<DWORD, 5> ulChannels60{M60C1, M60C2, M60C3, M60C4, M60C5};

// In the order setBand tests them. The 60 m button covers its channels only.
constexpr std::array<BAND, 10> amateurBands{{
    {IDC_10M, M10L, M10H, M10L},
    {IDC_12M, M12L, M12H, M12L},
    {IDC_15M, M15L, M15H, M15L},
    {IDC_17M, M17L, M17H, M17L},
    {IDC_20M, M20L, M20H, M20L},
    {IDC_30M, M30L, M30H, M30L},
    {IDC_40M, M40L, M40H, M40L},
    {IDC_60M, 0, 0, M60C1},
    {IDC_80M, M80L, M80H, M80L},
    {IDC_160M, M160L, M160H, M160L},
}};

constexpr std::array<BAND, 14> shortwaveBands{{
    {IDC_11M, M11L, M11H, M11L},
    {IDC_13M, M13L, M13H, M13L},
    {IDC_15MSW, M15SWL, M15SWH, M15SWL},
    {IDC_16M, M16L, M16H, M16L},
    {IDC_19M, M19L, M19H, M19L},
    {IDC_22M, M22L, M22H, M22L},
    {IDC_25M, M25L, M25H, M25L},
    {IDC_31M, M31L, M31H, M31L},
    {IDC_41M, M41L, M41H, M41L},
    {IDC_49M, M49L, M49H, M49L},
    {IDC_60MSW, M60L, M60H, M60L},
    {IDC_75M, M75L, M75H, M75L},
    {IDC_90M, M90L, M90H, M90L},
    {IDC_120M, M120L, M120H, M120L},
}};

bool covers(const BAND& band, DWORD ulValue) {
    if (band.id == IDC_60M) {
        return std::find(ulChannels60.begin(), ulChannels60.end(), ulValue) != ulChannels60.end();
    }
    return band.ulLower <= ulValue && ulValue < band.ulUpper;
}

template <std::size_t n> int firstCovering(const std::array<BAND, n>& bands, DWORD ulValue) {
    for (const BAND& band : bands) {
        if (covers(band, ulValue)) {
            return band.id;
        }
    }
    return 0;
}

// The text cursor would otherwise blink in a read-only field that was
// just rewritten.
void hideCursor() {
    HideCaret(nullptr);
}

void focusDirect() {
    SetFocus(GetDlgItem(hDlgHandle, IDC_DIRECT));
}

} // namespace

const char* formatDisplay(DWORD ulValue) {
    std::array<char, 16> szDigits{};
    std::snprintf(szDigits.data(), szDigits.size(), "%08u", ulValue);
    // Megahertz, kilohertz and hertz of the first eight digits.
    const char* d = szDigits.data();
    szDisplay = {d[0], d[1], '.', d[2], d[3], d[4], '.', d[5], d[6], d[7], '\0'};
    if (d[0] == '0') {
        szDisplay[0] = ' ';
        if (d[1] == '0') {
            szDisplay[1] = ' ';
            szDisplay[2] = ' ';
        }
    }
    return szDisplay.data();
}

void DialogDisplayUpdateFrequency(DWORD ulValue) {
    SetDlgItemTextA(hDlgHandle, IDC_FREQ, formatDisplay(ulValue));
    speakFrequency(ulValue);
    setBand(ulValue);
    hideCursor();
}

void DialogDisplayUpdateMemory(DWORD uValue) {
    std::array<char, 16> szText{};
    std::snprintf(szText.data(), szText.size(), "%3u", uValue);
    SetDlgItemTextA(hDlgHandle, IDC_MEMORY, szText.data());
    speakMemory(uValue);
    hideCursor();
}

void DialogDisplayUpdateSpeed(DWORD uValue) {
    std::array<char, 16> szText{};
    std::snprintf(szText.data(), szText.size(), "%6u", uValue);
    SetDlgItemTextA(hDlgHandle, IDC_SPEED, szText.data());
    speakSpeed(uValue);
    hideCursor();
}

void DialogDisplayUpdateLock(BOOL bState) {
    CheckDlgButton(hDlgHandle, IDC_LOCK, bState ? BST_CHECKED : BST_UNCHECKED);
    speakLock(bState);
    hideCursor();
    focusDirect();
}

void DialogDisplayUpdateMode(DWORD uMode) {
    switch (uMode) {
    case MODE_AM:
        CheckRadioButton(hDlgHandle, IDC_AM, IDC_SSB, IDC_AM);
        break;
    case MODE_CW:
        CheckRadioButton(hDlgHandle, IDC_AM, IDC_SSB, IDC_CW);
        break;
    case MODE_SSB:
        CheckRadioButton(hDlgHandle, IDC_AM, IDC_SSB, IDC_SSB);
        break;
    default: // a mode the panel has no button for: the marks stay
        break;
    }
    speakMode(uMode);
    hideCursor();
    focusDirect();
}

void DialogDisplayUpdateSUnits(DWORD uSUnits) {
    constexpr DWORD fullScale = 100;
    const DWORD uPosition = uSUnits >= fullScale / 10 ? fullScale : uSUnits * 10;
    SendDlgItemMessageA(hDlgHandle, IDC_SUNIT, PBM_SETPOS, uPosition, 0);
    speakSUnits(uSUnits);
}

void DialogDisplayUpdate() {
    // Each field of radio is read once, so the value copied is the value
    // drawn even while the exec thread writes a newer one.
    if (const BOOL b = radio.bLock; b != state.bLock) {
        state.bLock = b;
        local.bLock = b;
        DialogDisplayUpdateLock(b);
    }
    if (const DWORD u = radio.uSUnits; u != state.uSUnits) {
        state.uSUnits = u;
        local.uSUnits = u;
        DialogDisplayUpdateSUnits(u);
    }
    if (const DWORD ul = radio.ulFrequency; ul != state.ulFrequency) {
        state.ulFrequency = ul;
        local.ulFrequency = ul;
        DialogDisplayUpdateFrequency(ul);
    }
    if (const DWORD u = radio.uMode; u != state.uMode) {
        state.uMode = u;
        local.uMode = u;
        DialogDisplayUpdateMode(u);
    }
    if (const DWORD u = radio.uSpeed; u != state.uSpeed) {
        state.uSpeed = u;
        local.uSpeed = u;
        DialogDisplayUpdateSpeed(u);
    }
}

BOOL bandEdges(DWORD ulValue, BOOL bShortwave, DWORD* pLower, DWORD* pUpper) {
    auto find = [&](const auto& bands) {
        for (const BAND& band : bands) {
            if (band.ulUpper > band.ulLower && covers(band, ulValue)) {
                *pLower = band.ulLower;
                *pUpper = band.ulUpper;
                return TRUE;
            }
        }
        return FALSE;
    };
    return bShortwave ? find(shortwaveBands) : find(amateurBands);
}

int bandButton(DWORD ulValue, BOOL bShortwave) {
    return bShortwave ? firstCovering(shortwaveBands, ulValue)
                      : firstCovering(amateurBands, ulValue);
}

DWORD bandFrequency(int id) {
    for (const BAND& band : amateurBands) {
        if (band.id == id) {
            return band.ulTune;
        }
    }
    for (const BAND& band : shortwaveBands) {
        if (band.id == id) {
            return band.ulTune;
        }
    }
    return 0;
}

void setBand(DWORD ulValue) {
    // An id of 0 lies outside either range and so clears the whole set.
    const int id = bandButton(ulValue, bSWL);
    if (bSWL) {
        CheckRadioButton(hDlgHandle, IDC_120M, IDC_11M, id);
    } else {
        CheckRadioButton(hDlgHandle, IDC_160M, IDC_10M, id);
    }
}
