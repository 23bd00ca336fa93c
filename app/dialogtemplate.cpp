// Dialog template 100 and the artwork of icons 200, 201 and 202, as data.
#include "app/dialogtemplate.h"

#include "app/resource.h"

#include <array>

namespace {

using enum DlgItemKind;

constexpr DWORD TAB = DIS_TABSTOP;

// Positions and sizes in dialog units.
constexpr auto items = std::to_array<DLGITEM>({
    {IDOK, PushButton, "Exit", 230, 10, 26, 23, TAB | DIS_ICON},
    {IDC_RESTART, PushButton, "Restart", 230, 42, 26, 23, TAB | DIS_ICON},
    {IDC_GB_AUDIO, GroupBox, "Digital Audio", 166, 8, 52, 36, 0},
    {IDC_AUDIO, CheckBox, "Enable", 172, 30, 38, 8, TAB | DIS_DISABLED},
    {IDC_GB_COM, GroupBox, "Port", 178, 47, 40, 26, 0},
    {IDC_COM, EditText, "", 184, 57, 28, 12, DIS_READONLY},
    {IDC_LOCK, CheckBox, "Lock", 225, 78, 32, 8, TAB},
    {IDC_EXT, CheckBox, "Ext", 225, 103, 32, 8, TAB},
    {IDC_GB_SUNIT, GroupBox, "S Units", 13, 77, 205, 32, 0},
    {IDC_SUNIT, ProgressBar, "", 19, 88, 188, 14, 0},
    {IDC_GB_FREQ, GroupBox, "Frequency", 13, 115, 205, 56, 0},
    {IDC_FREQ, EditText, "", 20, 128, 176, 34, DIS_READONLY | DIS_NUMBER | DIS_RIGHT | DIS_BORDER},
    {IDC_SPINFREQ, UpDown, "", 192, 128, 11, 34, DIS_ARROWKEYS},
    {IDC_AM, RadioButton, "AM", 225, 126, 27, 8, 0},
    {IDC_CW, RadioButton, "CW", 225, 141, 28, 8, 0},
    {IDC_SSB, RadioButton, "SSB", 225, 156, 30, 8, 0},
    {IDC_GB_MEMORY, GroupBox, "Memory", 13, 176, 124, 42, 0},
    {IDC_MEMORY, EditText, "", 22, 191, 42, 18, DIS_READONLY | DIS_RIGHT | DIS_BORDER | TAB},
    {IDC_SPINMEMORY, UpDown, "", 52, 189, 11, 18, DIS_ARROWKEYS},
    {IDC_READ, PushButton, "&Read", 75, 183, 50, 14, TAB},
    {IDC_WRITE, PushButton, "&Write", 75, 200, 50, 14, TAB},
    {IDC_GB_SPEED, GroupBox, "Speed", 144, 176, 110, 42, 0},
    {IDC_SPEED, EditText, "", 154, 191, 82, 18,
     DIS_READONLY | DIS_NUMBER | DIS_RIGHT | DIS_BORDER | TAB},
    {IDC_SPINSPEED, UpDown, "", 225, 190, 11, 18, DIS_ARROWKEYS},
    {IDC_GB_DIRECT, GroupBox, "Direct", 13, 224, 240, 106, 0},
    {IDC_DIRECT, EditText, "", 25, 238, 157, 18, DIS_RIGHT | DIS_HSCROLL | DIS_BORDER | TAB},
    {IDC_BUTTON1, PushButton, "1", 25, 262, 50, 14, TAB},
    {IDC_BUTTON2, PushButton, "2", 80, 262, 50, 14, TAB},
    {IDC_BUTTON3, PushButton, "3", 133, 262, 50, 14, TAB},
    {IDC_BUTTON4, PushButton, "4", 25, 278, 50, 14, TAB},
    {IDC_BUTTON5, PushButton, "5", 80, 278, 50, 14, TAB},
    {IDC_BUTTON6, PushButton, "6", 133, 278, 50, 14, TAB},
    {IDC_BUTTON7, PushButton, "7", 25, 294, 50, 14, TAB},
    {IDC_BUTTON8, PushButton, "8", 80, 294, 50, 14, TAB},
    {IDC_BUTTON9, PushButton, "9", 133, 294, 50, 14, TAB},
    {IDC_BUTTONPOINT, PushButton, "\u00B7", 133, 311, 50, 14, TAB},
    {IDC_BUTTON0, PushButton, "0", 80, 311, 50, 14, TAB},
    {IDC_BUTTONCLR, PushButton, "CLR", 25, 311, 50, 14, TAB},
    {IDC_SELFREQ, DefPushButton, "&Frequency", 191, 262, 50, 14, TAB},
    {IDC_SELMEMORY, PushButton, "&Memory", 191, 278, 50, 14, TAB},
    {IDC_SELSPEED, PushButton, "&Speed", 191, 294, 50, 14, TAB},
    {IDC_GB_BANDS, GroupBox, "Amateur Bands", 13, 8, 146, 64, 0},
    // Amateur band set, shown at start.
    {IDC_160M, RadioButton, "160m", 20, 20, 30, 8, 0},
    {IDC_80M, RadioButton, "80m", 20, 38, 30, 8, 0},
    {IDC_60M, RadioButton, "60m", 20, 56, 30, 8, 0},
    {IDC_40M, RadioButton, "40m", 56, 20, 30, 8, 0},
    {IDC_30M, RadioButton, "30m", 56, 38, 30, 8, 0},
    {IDC_20M, RadioButton, "20m", 56, 56, 30, 8, 0},
    {IDC_17M, RadioButton, "17m", 92, 20, 30, 8, 0},
    {IDC_15M, RadioButton, "15m", 92, 38, 30, 8, 0},
    {IDC_12M, RadioButton, "12m", 92, 56, 30, 8, 0},
    {IDC_10M, RadioButton, "10m", 126, 20, 30, 8, 0},
    // Shortwave broadcast band set, hidden at start.
    {IDC_120M, RadioButton, "120m", 20, 20, 30, 8, DIS_HIDDEN},
    {IDC_90M, RadioButton, "90m", 20, 32, 30, 8, DIS_HIDDEN},
    {IDC_75M, RadioButton, "75m", 20, 44, 30, 8, DIS_HIDDEN},
    {IDC_60MSW, RadioButton, "60m", 20, 56, 30, 8, DIS_HIDDEN},
    {IDC_49M, RadioButton, "49m", 56, 20, 30, 8, DIS_HIDDEN},
    {IDC_41M, RadioButton, "41m", 56, 32, 30, 8, DIS_HIDDEN},
    {IDC_31M, RadioButton, "31m", 56, 44, 30, 8, DIS_HIDDEN},
    {IDC_25M, RadioButton, "25m", 56, 56, 30, 8, DIS_HIDDEN},
    {IDC_22M, RadioButton, "22m", 92, 20, 30, 8, DIS_HIDDEN},
    {IDC_19M, RadioButton, "19m", 92, 32, 30, 8, DIS_HIDDEN},
    {IDC_16M, RadioButton, "16m", 92, 44, 30, 8, DIS_HIDDEN},
    {IDC_15MSW, RadioButton, "15m", 92, 56, 30, 8, DIS_HIDDEN},
    {IDC_13M, RadioButton, "13m", 126, 20, 30, 8, DIS_HIDDEN},
    {IDC_11M, RadioButton, "11m", 126, 32, 30, 8, DIS_HIDDEN},
});

constexpr DLGTEMPLATEDATA mainDialog{"Velkor QX-4470 Control Program",
                                     181,
                                     68,
                                     268,
                                     340,
                                     "MS Shell Dlg",
                                     8,
                                     items.data(),
                                     items.size()};

constexpr COLORREF WHITE = RGB(255, 255, 255);

// Icon 200: a tuning dial with its scale and pointer, radiating waves.
constexpr auto dialIcon = std::to_array<ICONSHAPE>({
    IconRoundedSquare(RGB(40, 70, 120), RGB(14, 28, 58), 4, 4, 120, 24),
    IconDisc(RGB(232, 236, 240), 64, 74, 38),
    IconDisc(RGB(24, 36, 60), 64, 74, 33),
    IconDashRing(RGB(180, 255, 0), 64, 74, 26, 4, 16, 3),
    IconArc(RGB(255, 170, 30), 64, 74, 26, 5, 150, -120),
    IconLine(RGB(255, 80, 60), 64, 74, 84, 54, 5),
    IconDisc(RGB(232, 236, 240), 64, 74, 8),
    IconDisc(WHITE, 64, 30, 3),
    IconArc(WHITE, 64, 30, 9, 4, 40, 100),
    IconArc(WHITE, 64, 30, 17, 4, 45, 90),
});

// Icon 201: a white power symbol on a red rounded square.
constexpr auto exitIcon = std::to_array<ICONSHAPE>({
    IconRoundedSquare(RGB(232, 60, 50), RGB(168, 20, 20), 4, 4, 120, 24),
    IconArc(WHITE, 64, 68, 32, 11, 120, 300),
    IconLine(WHITE, 64, 24, 64, 62, 11),
});

// Icon 202: a white ring of short dashes on a green rounded square.
constexpr auto restartIcon = std::to_array<ICONSHAPE>({
    IconRoundedSquare(RGB(60, 190, 80), RGB(20, 120, 40), 4, 4, 120, 24),
    IconDashRing(WHITE, 64, 64, 36, 9, 12, 8),
});

} // namespace

std::span<const DLGITEM> VelkorDialogItems() {
    return items;
}

const DLGTEMPLATEDATA& VelkorDialogTemplate() {
    return mainDialog;
}

std::span<const ICONSHAPE> VelkorIconShapes() {
    return dialIcon;
}

void RegisterVelkorResources() {
    RegisterDialogTemplate(IDD_MAIN, &mainDialog);
    RegisterIcon(IDI_VELKOR, dialIcon.data(), dialIcon.size());
    RegisterIcon(IDI_EXIT, exitIcon.data(), exitIcon.size());
    RegisterIcon(IDI_RESTART, restartIcon.data(), restartIcon.size());
}
