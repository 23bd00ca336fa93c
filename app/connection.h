// The serial port as the operator sees it: which port the panel starts
// with, choosing another one from the system menu, keeping the choice for
// the next run, and showing when the port is lost and when it is back.
#pragma once

#include "platform/dialog.h"

// Section and key of the kept choice in the settings.
inline constexpr const char* szPortSection = "port";
inline constexpr const char* szPortKey = "name";

// The port to start with: VELKOR when it is set (even empty), else the
// port chosen in an earlier run, else "COM1". Valid until the next
// choice.
LPCSTR startPortName();
// The Port field shows the name; when the port cannot be opened the
// warning names it, as at start-up ("Device Unavailable"), and the
// caption says the panel is disconnected.
void showPortUnavailable(HWND hDlg, LPCSTR szPort, DWORD dwError);
// The system menu's "Port...": the chooser, then the link on the port
// chosen, which is kept for the next run. Sets pCom.
void choosePort(HWND hDlg);
// The link lost the port (FALSE) or has it again (TRUE): the Port field
// and the caption say so.
void showPortState(HWND hDlg, BOOL bConnected);
