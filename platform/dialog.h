// The modal dialog, its controls, message boxes, menus, fonts and icons.
//
// A dialog is built from a template (a fixed list of controls with ids,
// kinds, captions, positions in dialog units and properties) and runs
// modally on the user-interface thread; its dialog procedure receives the
// messages below. PostMessageA (platform/window.h) may be called from any
// thread and reaches the dialog procedure on the dialog's thread, also
// while a message box is open.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

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

constexpr WORD LOWORD(WPARAM w) { return static_cast<WORD>(w & 0xFFFF); }
constexpr WORD HIWORD(WPARAM w) { return static_cast<WORD>((w >> 16) & 0xFFFF); }

// Messages delivered to the dialog procedure.
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_SETFONT = 0x0030;
inline constexpr UINT WM_NOTIFY = 0x004E;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
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

// The system menu: Minimize and Close, then the items appended.
HMENU GetSystemMenu(HWND hWnd, BOOL bRevert);
BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR szNewItem);
DWORD CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck);

// Fonts, icons and colours.
HFONT CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                  DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                  DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality,
                  DWORD iPitchAndFamily, LPCSTR szFaceName);
HICON LoadIconA(HINSTANCE hInstance, LPCSTR szIconName);
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF SetBkColor(HDC hdc, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);
