// The control panel: program entry, start-up and shutdown, the dialog
// procedure, tuning and direct entry.
#pragma once

#include "link/control.h" // bTune, the Ext box
#include "platform/dialog.h"
#include "platform/types.h"
#include "protocol/radiostate.h"

#include <array>

// The environment variable that names the serial port, and the port used
// when it is not set.
inline constexpr const char* szComEnv = "VELKOR";
inline constexpr const char* szComPort = "COM1";

// End codes of the dialog, which become the program's exit status.
inline constexpr INT_PTR END_EXIT = 1;   // the Exit button
inline constexpr INT_PTR END_CLOSE = 0;  // Escape, the close box, Alt+F4, Close
inline constexpr INT_PTR END_FAILED = 2; // start-up could not open a part

// Posted by the recording writer when a recording starts, stops or fails.
inline constexpr UINT IDRECORDING = WM_USER + 10;

inline constexpr const char* szAbout = "Velkor QX4470 Control Program Version 0.9d\n"
                                       "\n"
                                       "Control panel for the QX-4470 shortwave receiver";

extern RADIOSTATE local;              // the operator's working copy
extern DWORD uMemory;                 // selected memory channel
extern BOOL bSWL;                     // the shortwave band set is shown
extern std::array<char, 16> szDirect; // the keypad entry
extern BOOL bPoint;                   // a decimal point was keyed since the last clear
extern int N, R;                      // dividers of the last successful factorization
extern LPCSTR pCom;                   // the serial port name in use
extern HMENU hMenu;                   // the system menu
extern HFONT hLargeFont;              // the frequency display
extern HFONT hSmallFont;              // memory, speed and direct-entry fields

int WinMain(HINSTANCE hInst, HINSTANCE hinstPrev, LPSTR lpCmdLine, int nCmdShow);
// Opens and starts every part of the program and draws the first picture;
// 0, or the code of the first part that could not be opened.
DWORD InitializeApp(HWND hDlg, WPARAM wParam, LPARAM lParam);
INT_PTR DialogFunc(HWND hWndDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Shows ulValue at once and queues the commands that tune the receiver to
// it; returns ulValue.
DWORD tune(DWORD ulValue);
// Appends one key's text to the keypad entry (up to 15 characters).
void enterDirect(LPCSTR szNumber);
// Empties the keypad entry and the direct-entry field.
void clearDirect();

// The part of start-up that draws the panel (fonts, icons, the first
// picture, focus, system menu, button pictures); InitializeApp runs it
// between opening and starting the other parts. Tests run it alone.
void InitializePanel(HWND hDlg);
