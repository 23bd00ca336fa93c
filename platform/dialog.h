// The modal dialog, its controls, message boxes, menus, fonts and icons.
//
// A dialog is built from a template (a fixed list of controls with ids,
// kinds, captions, positions in dialog units and properties) and runs
// modally on the user-interface thread; its dialog procedure receives the
// messages below. PostMessageA (platform/window.h) may be called from any
// thread and reaches the dialog procedure on the dialog's thread, also
// while a message box is open. Texts are UTF-8.
//
// What the dialog procedure receives:
// - WM_INITDIALOG first, before the dialog appears (wParam: the first tab
//   stop, lParam: DialogBoxParamA's parameter). Answering TRUE puts the
//   focus on that control; EndDialog here ends the dialog unseen.
// - WM_COMMAND (id, BN_CLICKED; lParam: the control) for a clicked button.
//   A check box has already changed its mark; a radio button never changes
//   its own. Enter in a field sends the default button's command, Enter on
//   a push button that button's; Escape sends IDCANCEL.
// - WM_NOTIFY (wParam: id, lParam: NMUPDOWN with UDN_DELTAPOS) for each
//   spinner step: the upper arrow or the Up key in its field -1, the lower
//   arrow or Down +1.
// - WM_SYSCOMMAND with the id of the system-menu item chosen (a right click
//   on the background, or Alt+Space); SC_MINIMIZE and SC_CLOSE left
//   unhandled (FALSE) minimize the dialog or send WM_CLOSE.
// - WM_CLOSE for the close box and Alt+F4. Only EndDialog ends the dialog.
// - WM_CTLCOLORSTATIC (wParam: HDC, lParam: the field) each time a
//   read-only field is drawn: a brush from CreateSolidBrush as the answer
//   colours its background, SetTextColor on the HDC its text; FALSE keeps
//   the defaults.
// - Posted messages, and messages sent to the dialog with SendMessageA
//   that the platform does not handle itself.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

#include <array>
#include <cstddef>
#include <cstdint>

using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LRESULT = std::intptr_t;
using COLORREF = DWORD;

struct Menu;
struct Font;
struct Icon;
struct Brush;
struct DeviceContext;
struct Instance;
using HMENU = Menu*;
using HFONT = Font*;
using HICON = Icon*;
using HBRUSH = Brush*;
using HDC = DeviceContext*;
using HINSTANCE = Instance*;

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// Resources are named by number.
inline LPCSTR MAKEINTRESOURCEA(int id) {
    return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(static_cast<WORD>(id)));
}

constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

constexpr WORD LOWORD(WPARAM w) {
    return static_cast<WORD>(w & 0xFFFF);
}
constexpr WORD HIWORD(WPARAM w) {
    return static_cast<WORD>((w >> 16) & 0xFFFF);
}

// Messages delivered to the dialog procedure.
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_SETFONT = 0x0030;
inline constexpr UINT WM_NOTIFY = 0x004E;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
inline constexpr UINT BM_CLICK = 0x00F5; // a click on an enabled button, as the mouse gives it
inline constexpr UINT BM_SETIMAGE = 0x00F7;
inline constexpr UINT PBM_SETPOS = WM_USER + 2;

// WM_NOTIFY from an up-down control: lParam points to an NMUPDOWN.
struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
struct NMUPDOWN {
    NMHDR hdr;
    int iPos;
    int iDelta; // -1 for the upper arrow or the Up key, +1 for the lower arrow or Down
};
inline constexpr UINT UDN_DELTAPOS = static_cast<UINT>(-722);

// WM_COMMAND: the control id in the low word, the notification in the high
// word, the control's window as lParam.
inline constexpr WORD BN_CLICKED = 0;
constexpr WPARAM MAKEWPARAM(WORD lo, WORD hi) {
    return static_cast<WPARAM>(lo) | (static_cast<WPARAM>(hi) << 16);
}

// WM_SYSCOMMAND ids of the system menu's standard items. When the dialog
// procedure leaves them unhandled, SC_MINIMIZE minimizes the dialog and
// SC_CLOSE sends WM_CLOSE.
inline constexpr UINT SC_MINIMIZE = 0xF020;
inline constexpr UINT SC_CLOSE = 0xF060;

// Standard command ids.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Button marks.
inline constexpr UINT BST_UNCHECKED = 0;
inline constexpr UINT BST_CHECKED = 1;

// ShowWindow.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

// Message boxes and beeps.
inline constexpr UINT MB_OK = 0x00;
inline constexpr UINT MB_OKCANCEL = 0x01;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONEXCLAMATION = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;

// Menus.
inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_BYCOMMAND = 0x0000;
inline constexpr UINT MF_UNCHECKED = 0x0000;
inline constexpr UINT MF_CHECKED = 0x0008;
inline constexpr UINT MF_SEPARATOR = 0x0800;

// Icons.
inline constexpr WPARAM ICON_SMALL = 0;
inline constexpr WPARAM ICON_BIG = 1;
inline constexpr WPARAM IMAGE_ICON = 1;

// Fonts.
inline constexpr int FW_BOLD = 700;
inline constexpr DWORD ANSI_CHARSET = 0;
inline constexpr DWORD OUT_DEFAULT_PRECIS = 0;
inline constexpr DWORD CLIP_DEFAULT_PRECIS = 0;
inline constexpr DWORD DEFAULT_QUALITY = 0;
inline constexpr DWORD DEFAULT_PITCH = 0;
inline constexpr DWORD FF_DONTCARE = 0;

// Common controls.
struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* pInit);

// Runs the dialog of template `szTemplate` modally; returns the code given
// to EndDialog, or -1 when the dialog could not be created.
INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR szTemplate, HWND hWndParent,
                        DLGPROC pDialogFunc, LPARAM dwInitParam);
// Ends the modal dialog with a result code once the current message has
// been handled.
BOOL EndDialog(HWND hDlg, INT_PTR nResult);

// Controls.
HWND GetDlgItem(HWND hDlg, int nIDDlgItem);
int GetDlgCtrlID(HWND hWnd);
BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR szText);
// The dialog's caption.
BOOL SetWindowTextA(HWND hWnd, LPCSTR szText);
int GetWindowTextA(HWND hWnd, LPSTR szText, int cchMax);
UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR szText, int cchMax);
// The control's text as an unsigned (or signed) decimal number; *pTranslated
// is FALSE when the text is not a number that fits.
UINT GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* pTranslated, BOOL bSigned);
BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck);
UINT IsDlgButtonChecked(HWND hDlg, int nIDButton);
// Marks nIDCheckButton and clears every other button from nIDFirstButton to
// nIDLastButton; an id outside the range clears them all.
BOOL CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton);
LRESULT SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT uMsg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
HWND SetFocus(HWND hWnd);
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL EnableWindow(HWND hWnd, BOOL bEnable);
BOOL HideCaret(HWND hWnd);
BOOL FlashWindow(HWND hWnd, BOOL bInvert);

// Message boxes: modal, on the dialog's thread; posted messages still reach
// the dialog procedure while one is open. Returns IDOK or IDCANCEL.
int MessageBoxA(HWND hWnd, LPCSTR szText, LPCSTR szCaption, UINT uType);
BOOL MessageBeep(UINT uType);

// The system menu: Minimize and Close, then the items appended. An item's
// text may end in a tab and a key ("Stations...\tCtrl+T"): the menu shows
// the key, and the key chooses the item anywhere in the dialog.
HMENU GetSystemMenu(HWND hWnd, BOOL bRevert);
BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR szNewItem);
DWORD CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck);

// Fonts, icons and colours.
HFONT CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                  DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                  DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily,
                  LPCSTR szFaceName);
HICON LoadIconA(HINSTANCE hInstance, LPCSTR szIconName);
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF SetBkColor(HDC hdc, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);

// ---------------------------------------------------------------------------
// Accessibility: what assistive technology (a screen reader, over the
// desktop's accessibility bus) is told about the dialog's controls.
//
// Every control has a role from its kind (push button, check box, radio
// button, text field, progress bar) and a name from its caption, which
// SetAccPropStr can replace. A read-only field or the progress bar is a
// reading: its value, as words a speech synthesizer says well, is what
// PROPID_ACC_VALUE gives it. Every accessible action on a button (press,
// toggle) is a click: the dialog procedure receives the same WM_COMMAND.
enum ACCPROPID : int {
    PROPID_ACC_NAME,             // what the control is: "Frequency", "S-meter"
    PROPID_ACC_VALUE,            // a reading as spoken words: "7.05 megahertz", "S5"
    PROPID_ACC_HELP,             // what it does; also its tooltip
    PROPID_ACC_KEYBOARDSHORTCUT, // the keys that work it, "Ctrl+L"; shown in its tooltip
};
BOOL SetAccPropStr(HWND hWnd, ACCPROPID idProp, LPCSTR szValue);

// Tells assistive technology that a reading changed (EVENT_OBJECT_VALUECHANGE),
// so a screen reader whose focus is on it says the new value. A value set
// with SetAccPropStr is only announced this way: a reading that changes
// many times a second is announced when it is worth it.
inline constexpr DWORD EVENT_OBJECT_VALUECHANGE = 0x800E;
inline constexpr LONG OBJID_CLIENT = -4;
inline constexpr LONG CHILDID_SELF = 0;
void NotifyWinEvent(DWORD event, HWND hWnd, LONG idObject, LONG idChild);

// Keyboard accelerators of the dialog: each key with its modifiers sends
// WM_COMMAND with the entry's command id in the low word and 1 in the
// high word, from whichever control has the focus, before the control
// sees the key. A key of the numeric keypad never matches (screen readers
// use them).
struct ACCEL {
    BYTE fVirt; // FVIRTKEY and the modifiers FSHIFT, FCONTROL, FALT
    WORD key;   // a virtual-key code: 'A' .. 'Z', '0' .. '9', VK_...
    WORD cmd;
};
inline constexpr BYTE FVIRTKEY = 0x01;
inline constexpr BYTE FSHIFT = 0x04;
inline constexpr BYTE FCONTROL = 0x08;
inline constexpr BYTE FALT = 0x10;
inline constexpr WORD VK_PRIOR = 0x21; // Page Up
inline constexpr WORD VK_NEXT = 0x22;  // Page Down
inline constexpr WORD VK_UP = 0x26;
inline constexpr WORD VK_DOWN = 0x28;
inline constexpr WORD ACCEL_NOTIFICATION = 1; // HIWORD(wParam) of an accelerator's WM_COMMAND
// Replaces the dialog's accelerators with a copy of the table.
BOOL SetDialogAccelerators(HWND hDlg, const ACCEL* pAccel, int cAccel);

// ---------------------------------------------------------------------------
// Dialog templates and icons, registered by the program before the dialog
// runs.

// Kinds of controls a template holds.
enum class DlgItemKind : BYTE {
    PushButton,
    DefPushButton, // pressed by Enter in a text field
    CheckBox,      // marks and clears itself when clicked
    RadioButton,   // marked only through CheckDlgButton and CheckRadioButton
    GroupBox,
    EditText,
    UpDown,      // attached to the control before it, at that control's right edge
    ProgressBar, // range 0 .. 100
};

// Properties of a control (bit set).
inline constexpr DWORD DIS_TABSTOP = 0x0001;   // reached by the Tab key
inline constexpr DWORD DIS_DISABLED = 0x0002;  // created disabled
inline constexpr DWORD DIS_HIDDEN = 0x0004;    // created hidden
inline constexpr DWORD DIS_READONLY = 0x0008;  // text field the operator cannot edit
inline constexpr DWORD DIS_RIGHT = 0x0010;     // text right-aligned
inline constexpr DWORD DIS_NUMBER = 0x0020;    // only digits can be typed
inline constexpr DWORD DIS_BORDER = 0x0040;    // text field with a border
inline constexpr DWORD DIS_HSCROLL = 0x0080;   // text scrolls horizontally as it grows
inline constexpr DWORD DIS_ICON = 0x0100;      // push button showing the picture BM_SETIMAGE gives
inline constexpr DWORD DIS_ARROWKEYS = 0x0200; // spinner answers Up and Down in its field

// One control; position and size in dialog units.
struct DLGITEM {
    int id;
    DlgItemKind kind;
    LPCSTR szCaption; // UTF-8; "&" marks the access key
    short x, y, cx, cy;
    DWORD dwStyle;
};

// A whole dialog. Dialog units map to pixels through the fixed base units
// of an 8-point dialog font (6 x 13 pixels): x * 6 / 4, y * 13 / 8, each
// rounded half away from zero; Qt scales them by the device pixel ratio.
struct DLGTEMPLATEDATA {
    LPCSTR szCaption;
    short x, y, cx, cy; // client area, from the screen's top left corner
    LPCSTR szFaceName;
    int nPointSize;
    const DLGITEM* pItems; // in template order, which is also the tab order
    std::size_t cItems;
};

// Makes a template known under its id; the data must outlive every dialog
// built from it (static data). Returns FALSE for a template without items.
BOOL RegisterDialogTemplate(int id, const DLGTEMPLATEDATA* pTemplate);

// Icon artwork: shapes drawn in order on a transparent 128 x 128 canvas;
// coordinates in pixels of that canvas, angles in degrees counter-clockwise
// from three o'clock.
enum class IconShapeKind : BYTE {
    RoundedSquare, // v: x, y, side, corner radius; shaded from colour (top) to colour2
    Disc,          // v: centre x, centre y, radius
    Arc,           // v: centre x, centre y, radius, pen width, start angle, span angle
    Line,          // v: x1, y1, x2, y2, pen width
    DashRing,      // v: centre x, centre y, radius, pen width, dash count, dash span angle
};
struct ICONSHAPE {
    IconShapeKind kind;
    COLORREF colour;
    COLORREF colour2;
    std::array<float, 6> v;
};
constexpr ICONSHAPE IconRoundedSquare(COLORREF top, COLORREF bottom, float x, float y, float side,
                                      float corner) {
    return {IconShapeKind::RoundedSquare, top, bottom, {x, y, side, corner, 0, 0}};
}
constexpr ICONSHAPE IconDisc(COLORREF c, float cx, float cy, float r) {
    return {IconShapeKind::Disc, c, c, {cx, cy, r, 0, 0, 0}};
}
constexpr ICONSHAPE IconArc(COLORREF c, float cx, float cy, float r, float pen, float start,
                            float span) {
    return {IconShapeKind::Arc, c, c, {cx, cy, r, pen, start, span}};
}
constexpr ICONSHAPE IconLine(COLORREF c, float x1, float y1, float x2, float y2, float pen) {
    return {IconShapeKind::Line, c, c, {x1, y1, x2, y2, pen, 0}};
}
constexpr ICONSHAPE IconDashRing(COLORREF c, float cx, float cy, float r, float pen, int count,
                                 float span) {
    return {IconShapeKind::DashRing, c, c, {cx, cy, r, pen, static_cast<float>(count), span}};
}
inline constexpr int ICON_CANVAS = 128;

// Makes an icon known under its id (static data, as above).
BOOL RegisterIcon(int id, const ICONSHAPE* pShapes, std::size_t cShapes);

// nNumber * nNumerator / nDenominator rounded half away from zero; -1 when
// nDenominator is 0 or the result does not fit.
int MulDiv(int nNumber, int nNumerator, int nDenominator);
