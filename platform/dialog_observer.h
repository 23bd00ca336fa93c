// The dialog layer's one seam for a driver: an observer that is told,
// on the user-interface thread, when a dialog, a message box or the
// system menu is on screen, and of beeps and caption flashes, which show
// no widget. The behaviour tests plug their driver in here; the program
// plugs in none, and then nothing is told.
//
// Every name here is the project's own; none follows the Win32 contract.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

#include <string>

class QMenu;
class QMessageBox;

// What MessageBoxA was asked to show.
struct MessageBoxRecord {
    std::string caption;
    std::string text;
    UINT icon = 0;    // MB_ICON... bits
    UINT buttons = 0; // MB_OK or MB_OKCANCEL
};

class DialogObserver {
  public:
    virtual ~DialogObserver() = default;
    // Once the modal loop runs, the dialog on screen.
    virtual void dialogShown(HWND hDlg) = 0;
    // Once the box's own loop runs; the box stays open until answered.
    virtual void messageBoxShown(QMessageBox& box, const MessageBoxRecord& record) = 0;
    // Once the menu's own loop runs; it stays open until chosen from or closed.
    virtual void menuShown(QMenu& menu) = 0;
    virtual void beeped(UINT uType) = 0;
    virtual void flashed(HWND hWnd) = 0;
};

// Plugs in the observer, or none (nullptr). It must outlive its use.
void SetDialogObserver(DialogObserver* pObserver);
