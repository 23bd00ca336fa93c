// Runs the panel in this process on the offscreen platform and drives it
// through real widgets. The panel starts as the program starts it, but
// without audio and without the link: the test opens QueueMessage itself
// and reads back every command the panel queues.
#pragma once

#include "platform/dialog.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct MessageBoxSeen {
    std::string szCaption;
    std::string szText;
    UINT uType;
};

// Runs the dialog modally with the panel's own start-up picture, calls
// body once it is shown, then ends it (unless the body ended it).
// Returns the dialog's end code.
INT_PTR runPanel(const std::function<void(HWND)>& body, const char* szPort = "COM1");

// The commands queued since the last call, most urgent first, each with
// its priority.
std::vector<std::pair<std::string, int>> queued();
// Just the texts, in the order the link would send them.
std::vector<std::string> queuedTexts();

// Widgets.
void click(int id);                               // a mouse click on the control
void spin(int id, int delta);                     // the spinner's upper (UP) or lower (DOWN) arrow
void typeInto(int id, const std::string& szText); // replaces the field's text by typing
void pressKey(int id, int key);                   // a key (Qt::Key) in the control
std::string text(int id);
bool checked(int id);
bool visible(int id);
bool enabled(int id);
int progress(int id);
int focusedId();
void systemMenu(UINT id); // chooses a system-menu item
bool menuChecked(UINT id);
void pump(); // handles posted messages
// Message boxes opened from now on are answered with nAnswer and
// recorded.
void answerBoxes(int nAnswer);
std::vector<MessageBoxSeen> boxesSeen();
std::vector<int> beeps();
