// A small dialog procedure for the dialog tests: records what it receives
// and answers as the panel does.
#pragma once

#include "app/dialogtemplate.h"
#include "app/resource.h"
#include "platform/dialog.h"
#include "support/dialog_driver.h"

#include <functional>
#include <vector>

namespace uitest {

struct Received {
    UINT msg;
    WPARAM wParam;
    int id;             // WM_COMMAND: control id; WM_NOTIFY: sender id; WM_SYSCOMMAND: command
    int delta;          // WM_NOTIFY UDN_DELTAPOS: iDelta
    UINT code;          // WM_NOTIFY: notification code
    bool markAtCommand; // WM_COMMAND: the control's mark when the command arrived
};

// Everything the procedure received, in order (WM_CTLCOLORSTATIC left out).
std::vector<Received>& received();
// Only the messages of one kind.
std::vector<Received> receivedOf(UINT msg);

// Optional extra handling, run first; return true when handled.
using Extra = std::function<bool(HWND, UINT, WPARAM, LPARAM, INT_PTR&)>;
void setExtra(Extra extra);

// The procedure: WM_INITDIALOG returns FALSE; WM_CTLCOLORSTATIC colours
// IDC_FREQ yellow-green on black; everything else is only recorded.
INT_PTR TestProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Registers the panel's resources and clears the record.
void reset();

// Runs template 100 with TestProc and the script; returns the end code.
INT_PTR run(const std::function<void(HWND)>& script);

} // namespace uitest
