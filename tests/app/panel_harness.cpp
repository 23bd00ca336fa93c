#include "panel_harness.h"

#include "app/dialogtemplate.h"
#include "app/resource.h"
#include "app/velkor.h"
#include "link/comthread.h"
#include "link/execthread.h"
#include "link/queue.h"
#include "link/updatethread.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdlib>
#include <map>

// Libraries that are not built for the thread checker (Qt's drawing and
// thread pool, the PulseAudio client behind ALSA) look racy to it; the
// panel, the link and the audio pipeline are checked all the same.
extern "C" __attribute__((used)) const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\nrace:libQt6Widgets.so\n"
           "race:libpulse.so\nrace:libpulsecommon\nrace:libdbus-1.so\nrace:libasound.so\n"
           "race:libglib-2.0.so\nrace:libfontconfig.so\nrace:libfreetype.so\n";
}

namespace {

HWND hPanel = nullptr;
const char* szPanelPort = nullptr;
int beepsBefore = 0;

// The program's dialog procedure, but with a start-up that opens neither
// audio nor the link: only the panel's own part of it.
INT_PTR panelProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG) {
        hDlgHandle = hDlg;
        pCom = szPanelPort;
        SetDlgItemTextA(hDlg, IDC_COM, pCom);
        InitializePanel(hDlg);
        return FALSE;
    }
    return DialogFunc(hDlg, uMsg, wParam, lParam);
}

const std::map<UINT, std::string>& menuTexts() {
    static const std::map<UINT, std::string> texts{
        {IDC_ABOUT, "About"},
        {IDC_SWL, "Shortwave Bands"},
        {IDC_AMATEUR, "Amateur Bands"},
        {IDC_RESTART, "Radio Restart"},
        {IDC_REMOTE, "Remote Control"},
        {IDC_RECAUDIO, "Record Audio"},
        {IDC_RECSTREAM, "Record Stream"},
        {IDC_PORT, "Port..."},
        {IDC_STATIONS, "Stations..."},
        {IDC_BANDSCOPE, "Band Scope..."},
        {SC_CLOSE, "Close"},
        {SC_MINIMIZE, "Minimize"},
    };
    return texts;
}

// A point of the dialog's background, clear of every control.
constexpr int backgroundX = 395;
constexpr int backgroundY = 545;

} // namespace

void preparePanel() {
    static const bool bRegistered = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0); // never a real display
        RegisterVelkorResources();
        return true;
    }();
    (void)bRegistered;
}

INT_PTR runPanel(const std::function<void(HWND)>& body, const char* szPort) {
    preparePanel();
    openQueue(&QueueMessage, "queueMessage");
    bLock = FALSE;
    szPanelPort = szPort;
    answerBoxes(IDOK);
    dialogtest::ClearMessageBoxesSeen();
    beepsBefore = dialogtest::BeepCount();
    const INT_PTR nResult = dialogtest::RunDialog(IDD_MAIN, panelProc, [&](HWND hDlg) {
        hPanel = hDlg;
        queued(); // start from an empty queue
        body(hDlg);
    });
    queued();
    closeQueue(&QueueMessage);
    hPanel = nullptr;
    hDlgHandle = nullptr;
    return nResult;
}

std::vector<std::pair<std::string, int>> queued() {
    std::vector<std::pair<std::string, int>> commands;
    while (WaitForSingleObject(QueueMessage.hQueue, 0) == WAIT_OBJECT_0) {
        int priority = 0;
        const char* szPacket = dequeue(&QueueMessage, &priority);
        if (szPacket == nullptr) {
            break;
        }
        commands.emplace_back(szPacket, priority);
    }
    return commands;
}

std::vector<std::string> queuedTexts() {
    std::vector<std::string> texts;
    for (const auto& [szText, priority] : queued()) {
        texts.push_back(szText);
    }
    return texts;
}

void click(int id) {
    dialogtest::Click(hPanel, id);
}
void spin(int id, int delta) {
    dialogtest::ClickSpinner(hPanel, id, delta);
}

void typeInto(int id, const std::string& szText) {
    SetDlgItemTextA(hPanel, id, "");
    dialogtest::FocusControl(hPanel, id);
    dialogtest::TypeText(hPanel, szText);
}

void pressKey(int id, dialogtest::Key key) {
    dialogtest::FocusControl(hPanel, id);
    dialogtest::PressKey(hPanel, key);
}

std::string text(int id) {
    return dialogtest::Text(hPanel, id);
}
bool checked(int id) {
    return dialogtest::Checked(hPanel, id);
}
bool visible(int id) {
    return dialogtest::Visible(hPanel, id);
}
bool enabled(int id) {
    return dialogtest::Enabled(hPanel, id);
}
int progress(int id) {
    return dialogtest::ProgressPosition(hPanel, id);
}
int focusedId() {
    return dialogtest::FocusId(hPanel);
}

void systemMenu(UINT id) {
    systemMenu(hPanel, id);
}

void systemMenu(HWND hDlg, UINT id) {
    const std::string szItem = menuTexts().at(id);
    dialogtest::SetMenuResponder([szItem](const std::vector<std::string>& items) {
        for (const std::string& item : items) {
            if (item == szItem || item == "*" + szItem) {
                return szItem; // the item's own text, without the check mark
            }
        }
        ADD_FAILURE() << "no system-menu item " << szItem;
        return std::string();
    });
    dialogtest::RightClick(hDlg, backgroundX, backgroundY);
    dialogtest::SetMenuResponder(nullptr);
}

bool menuChecked(UINT id) {
    const std::string szItem = menuTexts().at(id);
    bool bFound = false;
    bool bChecked = false;
    dialogtest::SetMenuResponder([&](const std::vector<std::string>& items) {
        for (const std::string& item : items) {
            if (item == szItem || item == "*" + szItem) {
                bFound = true;
                bChecked = item[0] == '*';
            }
        }
        return std::string();
    });
    dialogtest::RightClick(hPanel, backgroundX, backgroundY);
    dialogtest::SetMenuResponder(nullptr);
    EXPECT_TRUE(bFound) << "no system-menu item " << szItem;
    return bChecked;
}

void pump() {
    dialogtest::ProcessEvents(20);
}

void answerBoxes(int nAnswer) {
    dialogtest::SetMessageBoxResponder(
        [nAnswer](const dialogtest::MessageBoxSeen&) { return nAnswer; });
}

std::vector<BoxSeen> boxesSeen() {
    std::vector<BoxSeen> boxes;
    for (const auto& box : dialogtest::MessageBoxesSeen()) {
        boxes.push_back({box.caption, box.text, box.icon | box.buttons});
    }
    return boxes;
}

int beepCount() {
    return dialogtest::BeepCount() - beepsBefore;
}
UINT lastBeep() {
    return dialogtest::LastBeep();
}

void whenPortChooserOpens(std::function<void(QDialog&)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
        auto* chooser = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (chooser == nullptr || chooser->objectName() != "portChooser") {
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(*chooser);
    });
    timer->start();
}
