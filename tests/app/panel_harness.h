// Runs the panel in this process on the offscreen platform and drives it
// through real widgets. The panel starts as the program starts it, but
// without audio and without the link: the test opens QueueMessage itself
// and reads back every command the panel queues.
#pragma once

#include "platform/dialog.h"
#include "support/dialog_driver.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Registers the panel's layout and icons once, on the offscreen platform.
void preparePanel();

// Runs the dialog modally with the panel's start-up picture, calls body
// once it is shown, then ends it (unless the body ended it). Returns the
// dialog's end code.
INT_PTR runPanel(const std::function<void(HWND)>& body, const char* szPort = "COM1");

// The commands queued since the last call, most urgent first, each with
// its priority.
std::vector<std::pair<std::string, int>> queued();
// Just the texts, in the order the link would send them.
std::vector<std::string> queuedTexts();

// Widgets of the running panel.
void click(int id);
void spin(int id, int delta);                     // UP: upper arrow, DOWN: lower arrow
void typeInto(int id, const std::string& szText); // replaces the field's text by typing
void pressKey(int id, dialogtest::Key key);       // a key in the control
std::string text(int id);
bool checked(int id);
bool visible(int id);
bool enabled(int id);
int progress(int id);
int focusedId();
void systemMenu(UINT id);            // chooses a system-menu item by a right click
void systemMenu(HWND hDlg, UINT id); // the same in a dialog the program runs itself
bool menuChecked(UINT id);
void pump(); // lets posted messages reach the dialog

// `act` runs on the port chooser once it is open (and should close it).
class QDialog;
void whenPortChooserOpens(std::function<void(QDialog&)> act);

// Message boxes opened from now on are answered with nAnswer.
void answerBoxes(int nAnswer);
struct BoxSeen {
    std::string szCaption;
    std::string szText;
    UINT uType;
};
// The boxes shown since the panel started.
std::vector<BoxSeen> boxesSeen();
// Beeps since the panel started, and the kind of the last one.
int beepCount();
UINT lastBeep();
