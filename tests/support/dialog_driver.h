// Driving the dialog from behaviour tests (QT_QPA_PLATFORM=offscreen).
//
// A test runs a dialog with RunDialog and acts on it from a script that
// runs inside the dialog's modal loop: it presses controls through real
// mouse and key events and reads back what the controls show. Message
// boxes and the system menu are answered by responders, so no test ever
// waits for a person.
#pragma once

#include "platform/dialog.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace dialogtest {

// Runs template `templateId` with `proc` as DialogBoxParamA does. `script`
// runs once the dialog is on screen; when it returns and the dialog has
// not been ended, the dialog is ended with `codeIfOpen`. Returns what
// DialogBoxParamA returned.
INT_PTR RunDialog(int templateId, DLGPROC proc, const std::function<void(HWND)>& script,
                  INT_PTR codeIfOpen = -2, LPARAM initParam = 0);

// The same for a dialog that the code under test runs itself (for
// instance through the program's WinMain): `script` runs once the next
// dialog is on screen. Call it just before that code.
void ScriptNextDialog(std::function<void(HWND)> script, INT_PTR codeIfOpen = -2);

// Lets queued and posted events run for about `milliseconds`, or until
// `done` returns true.
void ProcessEvents(int milliseconds = 0);
bool WaitUntil(const std::function<bool()>& done, int timeoutMilliseconds = 2000);

// Mouse: a left click in the middle of a control; a click on a spinner's
// upper (delta -1) or lower (+1) arrow; a right click at a point of the
// dialog's client area.
void Click(HWND hDlg, int id);
void ClickSpinner(HWND hDlg, int spinnerId, int delta);
void RightClick(HWND hDlg, int x, int y);
// The window's close box (the desktop's close request).
void PressCloseBox(HWND hDlg);

// Keyboard, to the control that has the focus (after FocusControl).
enum class Key { Enter, Escape, Up, Down, Tab, Space, AltF4, AltSpace };
void FocusControl(HWND hDlg, int id);
void PressKey(HWND hDlg, Key key);
void TypeText(HWND hDlg, const std::string& text);
void PressAccessKey(HWND hDlg, char letter); // Alt and the letter
// A shortcut key with Ctrl (and Shift): virtualKey is 'A' .. 'Z' or VK_...;
// bKeypad: the key of the numeric keypad.
void PressCtrlKey(HWND hDlg, WORD virtualKey, bool bShift = false, bool bKeypad = false);

// What assistive technology is told about a control (Qt's accessible
// interface of its widget, without a bus).
std::string AccessibleName(HWND hDlg, int id);
std::string AccessibleDescription(HWND hDlg, int id);
// The names of its actions ("Press", "Toggle", ...), and one of them done.
std::vector<std::string> AccessibleActions(HWND hDlg, int id);
void DoAccessibleAction(HWND hDlg, int id, const std::string& action);
// The accessible names of a spinner's arrows, upper first.
std::vector<std::string> SpinnerArrowNames(HWND hDlg, int id);
std::string ToolTip(HWND hDlg, int id);

// What a control shows.
struct Rect {
    int x, y, width, height;
    bool operator==(const Rect&) const = default;
};
// Readable in test failures.
inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << "{" << r.x << ", " << r.y << ", " << r.width << " x " << r.height << "}";
}
struct FontInfo {
    std::string family;
    int pixelHeight; // ascent plus descent
    bool bold;
};
struct Colours {
    COLORREF text;
    COLORREF background;
};
std::string Text(HWND hDlg, int id); // caption or field text, as shown
bool Checked(HWND hDlg, int id);
bool Visible(HWND hDlg, int id); // not hidden (the dialog itself may not be shown)
bool Enabled(HWND hDlg, int id);
bool HasTabStop(HWND hDlg, int id);
bool ShowsPicture(HWND hDlg, int id); // a button showing an icon
Rect Geometry(HWND hDlg, int id);     // pixels, in the dialog's client area
Rect ClientGeometry(HWND hDlg);       // the client area on the screen
FontInfo Font(HWND hDlg, int id);
Colours FieldColours(HWND hDlg, int id); // after the field has been drawn
int ProgressPosition(HWND hDlg, int id);
int FocusId(HWND hDlg); // id of the control with the focus, 0 for none
int TextWidth(HWND hDlg, int id, const std::string& text); // in the control's font
// Bounding box, in the control, of the pixels within `tolerance` of
// `colour` on a fresh drawing of the control; empty when there are none.
Rect InkBounds(HWND hDlg, int id, COLORREF colour, int tolerance = 60);
std::string WindowTitle(HWND hDlg);
bool HasWindowIcon(HWND hDlg);
std::vector<int> TabOrder(HWND hDlg); // ids reached by Tab, from the first

// Message boxes: the responder sees each box while it is open and answers
// IDOK or IDCANCEL, or 0 to be asked again a little later (the box stays
// open meanwhile). Without a responder every box is answered IDOK at once.
struct MessageBoxSeen {
    std::string caption;
    std::string text;
    UINT icon;    // MB_ICON... bits
    UINT buttons; // MB_OK or MB_OKCANCEL
};
void SetMessageBoxResponder(std::function<int(const MessageBoxSeen&)> responder);
const std::vector<MessageBoxSeen>& MessageBoxesSeen();
void ClearMessageBoxesSeen();

// The system menu: the responder sees the items' texts (empty for a
// separator, "*" in front of a checked item) and answers the text of the
// item to choose, or "" to close the menu without a choice. Without a
// responder the menu closes at once.
void SetMenuResponder(std::function<std::string(const std::vector<std::string>&)> responder);

// Beeps and caption flashes since the driver was first asked for them
// (or first drove a dialog).
int BeepCount();
UINT LastBeep();
int FlashCount();

// Saves what the dialog shows as a PNG file; false when it cannot.
bool Screenshot(HWND hDlg, const std::string& path);
// The 128 x 128 artwork of an icon as a PNG file.
bool SaveIcon(HICON hIcon, const std::string& path);
// Colour (with alpha in the top octet) of one pixel of an icon.
DWORD IconPixel(HICON hIcon, int x, int y);
int IconSize(HICON hIcon);

} // namespace dialogtest
