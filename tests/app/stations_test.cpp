// The station list in the panel: the window opened from the system menu
// and its shortcut, its filter, Enter tuning through the control
// service, the dialog following, the caption and the spoken frequency
// naming the station, and a confirmed Write recorded.
#include "panel_harness.h"
#include "support/temp_dir.h"

#include "app/resource.h"
#include "app/speed.h"
#include "link/execthread.h"
#include "protocol/comexecute.h"
#include "protocol/command.h"
#include "stations/database.h"
#include "stations/panel.h"
#include "stations/window.h"
#include "support/dialog_driver.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

class PanelStations : public testing::Test {
  protected:
    void SetUp() override {
        setenv(szStationsEnv, path.c_str(), 1);
        DatabaseOpen result;
        auto db = StationDatabase::open(path, &result);
        ASSERT_TRUE(db) << result.error;
        const std::string schedule = "9650;0000-2400;;XYZ;Radio Example;E;Eu;;1;;\r\n"
                                     "9655;0000-2400;;XYZ;Example Two;E;Eu;;1;;\r\n"
                                     "7335;0000-2400;;CAN;Time Signal;-CW;NAm;;1;;\r\n"
                                     "15000;0000-2400;;USA;Fifteen;E;NAm;;1;;\r\n"
                                     "15005;0000-2400;;USA;Gone;E;NAm;;8;;\r\n";
        ASSERT_TRUE(db->replaceImport(parseFile(schedule, "sked.csv"), Source::Schedule, "sked.csv",
                                      nullptr));
    }
    void TearDown() override { unsetenv(szStationsEnv); }

    static QTableView* table() { return stationsWindow()->findChild<QTableView*>("table"); }
    static QLineEdit* search() { return stationsWindow()->findChild<QLineEdit*>("search"); }
    static std::string cell(int row, int column) {
        return table()->model()->index(row, column).data().toString().toStdString();
    }

    TempDir dir;
    std::string path = (dir.path / "stations.db").string();
};

TEST_F(PanelStations, FilterAndEnterTuneThroughTheControlService) {
    runPanel([](HWND hDlg) {
        stationsOpen(hDlg);
        systemMenu(IDC_STATIONS);
        ASSERT_NE(stationsWindow(), nullptr);
        EXPECT_EQ(table()->model()->rowCount(), 5);

        QTest::keyClicks(search(), "exa");
        EXPECT_EQ(table()->model()->rowCount(), 2);
        QTest::keyClicks(search(), "mple two");
        ASSERT_EQ(table()->model()->rowCount(), 1);
        EXPECT_EQ(cell(0, 1), "Example Two");
        queued();
        QTest::keyClick(table(), Qt::Key_Return);
        EXPECT_EQ(queuedTexts(), std::vector<std::string>{commandFrequency(9655000).szText.data()});
        pump();
        EXPECT_EQ(text(IDC_FREQ), " 9.655.000"); // the dialog shows the tuning at once

        // An entry with a mode the receiver has sets it too.
        search()->setText("time signal");
        QTest::keyClick(table(), Qt::Key_Enter);
        EXPECT_EQ(queuedTexts(), (std::vector<std::string>{commandFrequency(7335000).szText.data(),
                                                           commandMode(MODE_CW).szText.data()}));
        pump();
        EXPECT_TRUE(checked(IDC_CW));

        search()->clear();
        stationsClose();
        EXPECT_EQ(stationsWindow(), nullptr);
    });
}

TEST_F(PanelStations, TheCaptionNamesTheStationOnTheAir) {
    runPanel([](HWND hDlg) {
        stationsOpen(hDlg);
        const std::string szTitle = "Velkor QX-4470 Control Program";
        radio.ulFrequency = 15000000;
        PostMessageA(hDlg, IDUPDATE, RADIO, 0);
        pump();
        EXPECT_EQ(dialogtest::WindowTitle(hDlg), szTitle + " \u2014 Fifteen");
        // Spoken too: the frequency display with the station, the
        // direct-entry field with the whole receiver.
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_FREQ), "15 megahertz, Fifteen");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_DIRECT), "15 megahertz, Fifteen, AM");
        radio.ulFrequency = 15005000; // inactive (persistence 8): no name
        radio.bLock = TRUE;
        PostMessageA(hDlg, IDUPDATE, RADIO, 0);
        pump();
        EXPECT_EQ(dialogtest::WindowTitle(hDlg), szTitle);
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_FREQ), "15.005 megahertz");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_DIRECT),
                  "15.005 megahertz, AM, locked");
        // A typed frequency names its station at once, before the
        // receiver reports it.
        typeInto(IDC_DIRECT, "9650000");
        click(IDC_SELFREQ);
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_FREQ),
                  "9.65 megahertz, Radio Example");
        queued();
        // A named memory channel says its name with its number.
        DatabaseOpen result;
        ASSERT_TRUE(
            StationDatabase::open(stationsDatabasePath(), &result)->nameMemory(2, "Evening news"));
        spin(IDC_SPINMEMORY, UP);
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_MEMORY), "2, Evening news");
        stationsClose();
    });
}

TEST_F(PanelStations, ShortcutOpensTheWindowAndWriteIsRecorded) {
    runPanel([](HWND hDlg) {
        stationsOpen(hDlg);
        QWidget* panel = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->windowTitle().startsWith("Velkor")) {
                panel = w;
            }
        }
        ASSERT_NE(panel, nullptr);
        QTest::keyClick(panel, Qt::Key_T, Qt::ControlModifier);
        EXPECT_NE(stationsWindow(), nullptr);

        radio.ulFrequency = 9650000;
        radio.uMode = MODE_AM;
        answerBoxes(IDOK);
        click(IDC_WRITE);
        DatabaseOpen result;
        auto db = StationDatabase::open(stationsDatabasePath(), &result);
        const std::vector<MemoryRecord> memories = db->memories();
        ASSERT_EQ(memories.size(), 1u);
        EXPECT_EQ(memories[0].channel, 1u);
        EXPECT_EQ(memories[0].frequency, 9650000u);
        EXPECT_EQ(memories[0].mode, MODE_AM);
        stationsClose();
    });
}

// Answers the window's own boxes while they come up: the first channel
// (nFirst), then OK to the confirmation.
void answerWindowBoxes(int nFirst) {
    QTimer::singleShot(20, [nFirst] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            input->setIntValue(nFirst);
            input->accept();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->button(QMessageBox::Ok)->click();
            return;
        }
        answerWindowBoxes(nFirst);
    });
}

// The receiver as far as programming needs it: it takes each tuning and
// mode it is sent, and lists the commands.
std::vector<std::string> actLikeTheReceiver(std::chrono::milliseconds duration) {
    std::vector<std::string> sent;
    const auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until) {
        pump();
        for (const std::string& command : queuedTexts()) {
            sent.push_back(command);
            for (DWORD f : {9650000u, 9655000u, 7335000u}) {
                if (command == commandFrequency(f).szText.data()) {
                    radio.ulFrequency = f;
                }
            }
            for (DWORD m : {MODE_AM, MODE_CW, MODE_SSB}) {
                if (command == commandMode(m).szText.data()) {
                    radio.uMode = m;
                }
            }
        }
    }
    return sent;
}

TEST_F(PanelStations, ProgramMemoriesWritesTheSelectionIntoChannels) {
    runPanel([](HWND hDlg) {
        stationsOpen(hDlg);
        stationsShowWindow();
        // The first three by frequency: 7335 (CW), 9650, 9655.
        const QAbstractItemModel* model = table()->model();
        table()->selectionModel()->select(
            QItemSelection(model->index(0, 0), model->index(2, model->columnCount() - 1)),
            QItemSelectionModel::ClearAndSelect);
        queued();
        radio.bLock = FALSE;
        answerWindowBoxes(10);
        stationsWindow()->findChild<QPushButton*>("program")->click();
        const std::vector<std::string> sent = actLikeTheReceiver(std::chrono::milliseconds(1500));
        // Each entry: tuned (and its mode set), then written once the
        // receiver reports it.
        const std::vector<std::string> writes{commandMemoryWrite(10).szText.data(),
                                              commandMemoryWrite(11).szText.data(),
                                              commandMemoryWrite(12).szText.data()};
        std::vector<std::string> seen;
        for (const std::string& c : sent) {
            if (c.starts_with(std::string(commandMemoryWrite(1).szText.data()).substr(0, 4))) {
                seen.push_back(c);
            }
        }
        EXPECT_EQ(seen, writes);
        DatabaseOpen result;
        auto db = StationDatabase::open(stationsDatabasePath(), &result);
        const std::vector<MemoryRecord> memories = db->memories();
        ASSERT_EQ(memories.size(), 3u);
        EXPECT_EQ(memories[0].channel, 10u);
        EXPECT_EQ(memories[2].channel, 12u);
        EXPECT_EQ(memories[0].name, "Time Signal");
        EXPECT_EQ(memories[0].mode, MODE_CW);
        EXPECT_EQ(memories[0].frequency, 7335000u);
        EXPECT_EQ(memories[2].name, "Example Two");

        // The receiver's Lock stops it, and says so.
        radio.bLock = TRUE;
        table()->selectAll();
        answerWindowBoxes(20);
        stationsWindow()->findChild<QPushButton*>("program")->click();
        const std::vector<std::string> locked = actLikeTheReceiver(std::chrono::milliseconds(500));
        EXPECT_EQ(std::count(locked.begin(), locked.end(), commandMemoryWrite(20).szText.data()),
                  0);
        EXPECT_TRUE(stationsWindow()->findChild<QLabel*>("status")->text().contains("locked"));
        radio.bLock = FALSE;
        stationsClose();
    });
}

} // namespace
