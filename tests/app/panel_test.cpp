// The panel driven through its widgets: what it shows, and what it
// queues for the receiver.
#include "panel_harness.h"
#include "support/temp_dir.h"

#include "app/display.h"
#include "app/resource.h"
#include "app/speed.h"
#include "app/velkor.h"
#include "link/comthread.h"
#include "link/execthread.h"
#include "link/updatethread.h"
#include "platform/socket.h"
#include "protocol/comexecute.h"
#include "record/record.h"
#include "record/recordname.h"
#include "remote/remote.h"
#include "remote/rig_client.h"
#include "remote/rigcommand.h"

#include "app/caption.h"
#include "platform/dialog_qt.h"
#include "platform/portchooser.h"
#include "scan/scope.h"
#include "support/dialog_driver.h"
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Commands = std::vector<std::string>;

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <unistd.h>

namespace {

// Reports a receiver state as the exec thread does.
void report(HWND hDlg) {
    PostMessageA(hDlg, IDUPDATE, RADIO, 0);
    pump();
}

// Keys an entry on the keypad, one button per character.
void key(const std::string& szKeys) {
    for (char c : szKeys) {
        if (c == '.') {
            click(IDC_BUTTONPOINT);
        } else if (c == '0') {
            click(IDC_BUTTON0);
        } else {
            click(IDC_BUTTON1 + (c - '1'));
        }
    }
}

// Types an entry into the direct-entry field and commits it as a frequency.
void enterFrequency(const std::string& szText) {
    typeInto(IDC_DIRECT, szText);
    click(IDC_SELFREQ);
}

std::vector<int> checkedAmong(int first, int last) {
    std::vector<int> ids;
    for (int id = first; id <= last; ++id) {
        if (checked(id)) {
            ids.push_back(id);
        }
    }
    return ids;
}

TEST(Panel, StartUpPicture) {
    runPanel([](HWND) {
        EXPECT_EQ(text(IDC_FREQ), "15.000.000");
        EXPECT_EQ(text(IDC_SPEED), "  2500");
        EXPECT_EQ(text(IDC_MEMORY), "  1");
        EXPECT_EQ(text(IDC_COM), "COM1");
        EXPECT_EQ(text(IDC_DIRECT), "");
        EXPECT_EQ(text(IDC_GB_BANDS), "Amateur Bands");
        EXPECT_THAT(checkedAmong(IDC_AM, IDC_SSB), ElementsAre(IDC_AM));
        EXPECT_FALSE(checked(IDC_LOCK));
        EXPECT_FALSE(checked(IDC_EXT));
        EXPECT_FALSE(checked(IDC_AUDIO));
        EXPECT_TRUE(enabled(IDC_AUDIO)); // offered from the start
        EXPECT_EQ(progress(IDC_SUNIT), 100);
        EXPECT_THAT(checkedAmong(IDC_160M, IDC_10M), IsEmpty());
        for (int id = IDC_160M; id <= IDC_10M; ++id) {
            EXPECT_TRUE(visible(id)) << id;
        }
        for (int id = IDC_120M; id <= IDC_11M; ++id) {
            EXPECT_FALSE(visible(id)) << id;
        }
        EXPECT_TRUE(menuChecked(IDC_AMATEUR));
        EXPECT_FALSE(menuChecked(IDC_SWL));
        EXPECT_EQ(focusedId(), IDC_DIRECT);
        EXPECT_THAT(queuedTexts(), IsEmpty());
        EXPECT_EQ(local.ulFrequency, 15000000u);
        EXPECT_EQ(local.uSpeed, 2500u);
        EXPECT_EQ(uMemory, 1u);
    });
}

TEST(Panel, LockFollowsTheClickNotTheReceiver) {
    runPanel([](HWND hDlg) {
        click(IDC_LOCK);
        EXPECT_TRUE(checked(IDC_LOCK));
        EXPECT_EQ(bLock, TRUE);
        click(IDC_LOCK);
        EXPECT_FALSE(checked(IDC_LOCK));
        EXPECT_EQ(bLock, FALSE);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AL\r", "*AU\r"));

        // A lock the receiver reports moves the mark only.
        radio.bLock = TRUE;
        report(hDlg);
        EXPECT_TRUE(checked(IDC_LOCK));
        EXPECT_EQ(bLock, FALSE);
        EXPECT_EQ(focusedId(), IDC_DIRECT);
        EXPECT_THAT(queuedTexts(), IsEmpty());
    });
}

TEST(Panel, ModeButtonsMarkAndQueueButLeaveLocalAlone) {
    runPanel([](HWND) {
        click(IDC_CW);
        EXPECT_THAT(checkedAmong(IDC_AM, IDC_SSB), ElementsAre(IDC_CW));
        click(IDC_SSB);
        EXPECT_THAT(checkedAmong(IDC_AM, IDC_SSB), ElementsAre(IDC_SSB));
        click(IDC_AM);
        click(IDC_AM); // again: queued again
        EXPECT_THAT(checkedAmong(IDC_AM, IDC_SSB), ElementsAre(IDC_AM));
        EXPECT_THAT(queuedTexts(), ElementsAre("*RMM2\r", "*RMM0\r", "*RMM4\r", "*RMM4\r"));
        EXPECT_EQ(local.uMode, MODE_AM);
        EXPECT_EQ(focusedId(), IDC_DIRECT);
    });
}

TEST(Panel, RestartReadAndAudio) {
    runPanel([](HWND) {
        click(IDC_RESTART);
        EXPECT_EQ(focusedId(), IDC_DIRECT);
        systemMenu(IDC_RESTART);
        click(IDC_READ);
        EXPECT_EQ(focusedId(), IDC_DIRECT);
        EXPECT_THAT(queuedTexts(), ElementsAre("XX\r", "XX\r", "*KRA1\r", "?AF\r"));

        click(IDC_AUDIO);
        EXPECT_TRUE(checked(IDC_AUDIO));
        click(IDC_RESTART);
        click(IDC_AUDIO);
        EXPECT_FALSE(checked(IDC_AUDIO));
        // The audio commands overtake everything else.
        const auto q = queued();
        ASSERT_EQ(q.size(), 3u);
        EXPECT_EQ(q[0], std::make_pair(std::string("?RMC\r"), 255));
        EXPECT_EQ(q[1], std::make_pair(std::string("*RMC\r"), 255));
        EXPECT_EQ(q[2], std::make_pair(std::string("XX\r"), 0));
    });
}

TEST(Panel, MemoryWriteNeedsOk) {
    runPanel([](HWND) {
        answerBoxes(IDCANCEL);
        click(IDC_WRITE);
        EXPECT_THAT(queuedTexts(), IsEmpty());
        EXPECT_EQ(focusedId(), IDC_DIRECT);

        answerBoxes(IDOK);
        spin(IDC_SPINMEMORY, UP);
        click(IDC_WRITE);
        EXPECT_THAT(queuedTexts(), ElementsAre("*KWA2\r"));
        EXPECT_EQ(focusedId(), IDC_DIRECT);

        const auto boxes = boxesSeen();
        ASSERT_EQ(boxes.size(), 2u);
        for (const auto& box : boxes) {
            EXPECT_EQ(box.szCaption, "Memory Write");
            EXPECT_EQ(box.szText, "Are you sure?");
            EXPECT_EQ(box.uType, MB_OKCANCEL | MB_ICONQUESTION);
        }
        EXPECT_EQ(beepCount(), 2);
        EXPECT_EQ(lastBeep(), MB_ICONQUESTION);
    });
}

TEST(Panel, AmateurBandButtonsTuneToTheirLowerEdge) {
    runPanel([](HWND) {
        for (int id = IDC_160M; id <= IDC_10M; ++id) {
            click(id);
            const DWORD ulBand = bandFrequency(id);
            EXPECT_THAT(queuedTexts(), ElementsAre("*AF" + std::to_string(ulBand) + "\r")) << id;
            EXPECT_EQ(text(IDC_FREQ), formatDisplay(ulBand));
            EXPECT_THAT(checkedAmong(IDC_160M, IDC_10M), ElementsAre(id));
            EXPECT_EQ(local.ulFrequency, ulBand);
        }
        click(IDC_60M);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF5330500\r"));
        EXPECT_EQ(text(IDC_FREQ), " 5.330.500");
    });
}

TEST(Panel, AMarkedBandButtonTunesAgainToItsEdge) {
    runPanel([](HWND) {
        enterFrequency("14100000");
        EXPECT_THAT(checkedAmong(IDC_160M, IDC_10M), ElementsAre(IDC_20M));
        click(IDC_20M);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF14100000\r", "*AF14000000\r"));
    });
}

TEST(Panel, BandSetSwitchThroughTheSystemMenu) {
    runPanel([](HWND) {
        enterFrequency("9500000");
        EXPECT_THAT(checkedAmong(IDC_160M, IDC_10M), IsEmpty());
        systemMenu(IDC_SWL);
        EXPECT_EQ(text(IDC_GB_BANDS), "Shortwave Bands");
        EXPECT_TRUE(menuChecked(IDC_SWL));
        EXPECT_FALSE(menuChecked(IDC_AMATEUR));
        for (int id = IDC_160M; id <= IDC_10M; ++id) {
            EXPECT_FALSE(visible(id)) << id;
        }
        for (int id = IDC_120M; id <= IDC_11M; ++id) {
            EXPECT_TRUE(visible(id)) << id;
        }
        EXPECT_THAT(checkedAmong(IDC_120M, IDC_11M), ElementsAre(IDC_31M));

        // Every shortwave button tunes to its band's lower edge.
        queuedTexts();
        for (int id = IDC_120M; id <= IDC_11M; ++id) {
            click(id);
            EXPECT_THAT(queuedTexts(),
                        ElementsAre("*AF" + std::to_string(bandFrequency(id)) + "\r"))
                << id;
            EXPECT_THAT(checkedAmong(IDC_120M, IDC_11M), ElementsAre(id));
        }

        // 3.95 MHz is 75 m here and 80 m in the amateur set.
        enterFrequency("3950000");
        EXPECT_THAT(checkedAmong(IDC_120M, IDC_11M), ElementsAre(IDC_75M));
        systemMenu(IDC_SWL); // the set already shown: same result
        EXPECT_THAT(checkedAmong(IDC_120M, IDC_11M), ElementsAre(IDC_75M));
        systemMenu(IDC_AMATEUR);
        EXPECT_EQ(text(IDC_GB_BANDS), "Amateur Bands");
        EXPECT_TRUE(menuChecked(IDC_AMATEUR));
        EXPECT_FALSE(menuChecked(IDC_SWL));
        EXPECT_TRUE(visible(IDC_80M));
        EXPECT_FALSE(visible(IDC_75M));
        EXPECT_THAT(checkedAmong(IDC_160M, IDC_10M), ElementsAre(IDC_80M));
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF3950000\r"));
    });
}

TEST(Panel, ExtendedTuningSendsDividersWhenFound) {
    runPanel([](HWND) {
        click(IDC_EXT);
        EXPECT_EQ(bTune, TRUE);
        click(IDC_40M);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AR1432\r", "*AN20800\r", "*AD7000000\r"));
        EXPECT_EQ(R, 1432);
        EXPECT_EQ(N, 20800);
        // No divider pair within 5 Hz: the frequency alone, the last pair kept.
        enterFrequency("4608515");
        EXPECT_THAT(queuedTexts(), ElementsAre("*AD4608515\r"));
        EXPECT_EQ(R, 1432);
        EXPECT_EQ(N, 20800);
        click(IDC_EXT);
        EXPECT_EQ(bTune, FALSE);
        click(IDC_40M);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF7000000\r"));
    });
}

TEST(Panel, FrequencySpinnerStepsToTheGridAndStopsAtTheEnds) {
    runPanel([](HWND) {
        enterFrequency("14001000");
        spin(IDC_SPINFREQ, UP);
        EXPECT_EQ(text(IDC_FREQ), "14.002.500");
        enterFrequency("14001000");
        spin(IDC_SPINFREQ, DOWN);
        spin(IDC_SPINFREQ, DOWN);
        EXPECT_EQ(text(IDC_FREQ), "13.997.500");
        EXPECT_EQ(local.ulFrequency, 13997500u);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF14001000\r", "*AF14002500\r", "*AF14001000\r",
                                               "*AF14000000\r", "*AF13997500\r"));

        enterFrequency("30000000");
        spin(IDC_SPINFREQ, UP);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF30000000\r", "*AF30000000\r"));

        typeInto(IDC_DIRECT, "100000");
        click(IDC_SELSPEED);
        enterFrequency("100000");
        spin(IDC_SPINFREQ, DOWN);
        EXPECT_EQ(local.ulFrequency, 100000u);
        EXPECT_THAT(queuedTexts(), ElementsAre("*RMI100000\r", "*AF100000\r", "*AF100000\r"));
    });
}

TEST(Panel, FrequencySpinnerSurvivesOddReportedValues) {
    runPanel([](HWND hDlg) {
        // A step of 0 moves nothing (and divides by nothing).
        radio.uSpeed = 0;
        radio.ulFrequency = 7050000;
        report(hDlg);
        spin(IDC_SPINFREQ, UP);
        spin(IDC_SPINFREQ, DOWN);
        EXPECT_EQ(local.ulFrequency, 7050000u);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF7050000\r", "*AF7050000\r"));

        // Near the top of 32 bits the step clamps instead of wrapping.
        radio.uSpeed = 2500;
        radio.ulFrequency = 0xFFFFFFF0;
        report(hDlg);
        spin(IDC_SPINFREQ, UP);
        EXPECT_EQ(local.ulFrequency, MAX_FREQUENCY);
        // From 0 a step down stays at the bottom of the range.
        radio.ulFrequency = 0;
        report(hDlg);
        spin(IDC_SPINFREQ, DOWN);
        EXPECT_EQ(local.ulFrequency, MIN_FREQUENCY);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF30000000\r", "*AF100000\r"));
    });
}

TEST(Panel, MemorySpinnerStaysWithinItsChannels) {
    runPanel([](HWND) {
        spin(IDC_SPINMEMORY, DOWN);
        EXPECT_EQ(text(IDC_MEMORY), "  1");
        spin(IDC_SPINMEMORY, UP);
        EXPECT_EQ(text(IDC_MEMORY), "  2");
        EXPECT_EQ(uMemory, 2u);
        typeInto(IDC_DIRECT, "128");
        click(IDC_SELMEMORY);
        EXPECT_EQ(text(IDC_MEMORY), "128");
        spin(IDC_SPINMEMORY, UP);
        EXPECT_EQ(text(IDC_MEMORY), "128");
        EXPECT_EQ(uMemory, 128u);
        EXPECT_THAT(queuedTexts(), IsEmpty());
        click(IDC_READ);
        EXPECT_THAT(queuedTexts(), ElementsAre("*KRA128\r", "?AF\r"));
    });
}

TEST(Panel, SpeedSpinnerMovesAlongTheTable) {
    runPanel([](HWND hDlg) {
        spin(IDC_SPINSPEED, UP);
        EXPECT_EQ(text(IDC_SPEED), "  5000");
        spin(IDC_SPINSPEED, DOWN);
        spin(IDC_SPINSPEED, DOWN);
        EXPECT_EQ(text(IDC_SPEED), "  1250");
        EXPECT_EQ(local.uSpeed, 1250u);
        EXPECT_THAT(queuedTexts(), ElementsAre("*RMI5000\r", "*RMI2500\r", "*RMI1250\r"));

        typeInto(IDC_DIRECT, "100000");
        click(IDC_SELSPEED);
        spin(IDC_SPINSPEED, UP);
        EXPECT_EQ(text(IDC_SPEED), "100000");
        typeInto(IDC_DIRECT, "10");
        click(IDC_SELSPEED);
        spin(IDC_SPINSPEED, DOWN);
        EXPECT_EQ(text(IDC_SPEED), "    10");
        EXPECT_THAT(queuedTexts(),
                    ElementsAre("*RMI100000\r", "*RMI100000\r", "*RMI10\r", "*RMI10\r"));

        // A step the table does not hold (the receiver may report one).
        radio.uSpeed = 3000;
        report(hDlg);
        EXPECT_EQ(text(IDC_SPEED), "  3000");
        spin(IDC_SPINSPEED, UP);
        EXPECT_EQ(text(IDC_SPEED), "  3000");
        EXPECT_EQ(local.uSpeed, 3000u);
        EXPECT_THAT(queuedTexts(), IsEmpty());
    });
}

TEST(Panel, KeypadBuildsTheEntry) {
    runPanel([](HWND) {
        key("14.2");
        EXPECT_EQ(text(IDC_DIRECT), "14.2");
        click(IDC_BUTTONPOINT); // a second point is ignored
        EXPECT_EQ(text(IDC_DIRECT), "14.2");
        click(IDC_SELFREQ);
        EXPECT_EQ(text(IDC_DIRECT), "");
        EXPECT_EQ(text(IDC_FREQ), "14.200.000");
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF14200000\r"));

        key("1234567890123456"); // the sixteenth key is ignored
        EXPECT_EQ(text(IDC_DIRECT), "123456789012345");
        click(IDC_BUTTONCLR);
        EXPECT_EQ(text(IDC_DIRECT), "");
        key(".5");
        EXPECT_EQ(text(IDC_DIRECT), ".5");
        click(IDC_SELFREQ);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF500000\r"));
        key("7.");
        EXPECT_EQ(text(IDC_DIRECT), "7."); // the point is back after a commit
    });
}

TEST(Panel, FrequencyEntryIsRangeTested) {
    runPanel([](HWND) {
        const std::vector<std::pair<std::string, std::string>> accepted{
            {"7100000", "*AF7100000\r"},   {"100000", "*AF100000\r"},
            {"30000000", "*AF30000000\r"}, {"14.2", "*AF14200000\r"},
            {"  7100000", "*AF7100000\r"}, {"7100000xyz", "*AF7100000\r"},
            {"7.0000004", "*AF7000000\r"}, {"+7.1", "*AF7100000\r"},
        };
        for (const auto& [szEntry, szCommand] : accepted) {
            enterFrequency(szEntry);
            EXPECT_THAT(queuedTexts(), ElementsAre(szCommand)) << szEntry;
            EXPECT_EQ(text(IDC_DIRECT), "") << szEntry;
        }
        // Refused without a word; too large numbers are not wrapped into range.
        for (const char* szEntry :
             {"14", "99999", "30000001", "-7100000", "abc", "", ".", "30.0000006", "-14.2",
              "4295067296", "4295.067296", "18446744073809551616", "71000000000000000", "1e300.",
              "inf.", "nan."}) {
            enterFrequency(szEntry);
            EXPECT_THAT(queuedTexts(), IsEmpty()) << szEntry;
            EXPECT_EQ(text(IDC_DIRECT), "") << szEntry;
        }
        EXPECT_EQ(local.ulFrequency, 7100000u);
    });
}

TEST(Panel, MemoryAndSpeedEntries) {
    runPanel([](HWND) {
        for (const char* szEntry : {"0", "129", "5.0", "abc", "4294967297"}) {
            typeInto(IDC_DIRECT, szEntry);
            click(IDC_SELMEMORY);
            EXPECT_EQ(text(IDC_MEMORY), "  1") << szEntry;
            EXPECT_EQ(text(IDC_DIRECT), "") << szEntry;
        }
        typeInto(IDC_DIRECT, "7");
        click(IDC_SELMEMORY);
        EXPECT_EQ(text(IDC_MEMORY), "7");
        EXPECT_EQ(uMemory, 7u);

        for (const char* szEntry : {"3000", "0", "abc", "4294969796"}) {
            typeInto(IDC_DIRECT, szEntry);
            click(IDC_SELSPEED);
            EXPECT_EQ(text(IDC_SPEED), "  2500") << szEntry;
            EXPECT_EQ(text(IDC_DIRECT), "") << szEntry;
        }
        typeInto(IDC_DIRECT, "9000");
        click(IDC_SELSPEED);
        EXPECT_EQ(text(IDC_SPEED), "  9000");
        EXPECT_EQ(local.uSpeed, 9000u);
        EXPECT_THAT(queuedTexts(), ElementsAre("*RMI9000\r"));
    });
}

TEST(Panel, RedrawTouchesOnlyChangedFieldsAndKeepsLocal) {
    runPanel([](HWND hDlg) {
        radio.ulFrequency = 7050000;
        radio.uSUnits = 5;
        report(hDlg);
        EXPECT_EQ(text(IDC_FREQ), " 7.050.000");
        EXPECT_EQ(progress(IDC_SUNIT), 50);
        EXPECT_THAT(checkedAmong(IDC_160M, IDC_10M), ElementsAre(IDC_40M));
        EXPECT_EQ(local.ulFrequency, 7050000u);
        EXPECT_EQ(state.ulFrequency, 7050000u);

        // The operator tunes; the receiver reports the same as before.
        spin(IDC_SPINFREQ, UP);
        queuedTexts();
        SetDlgItemTextA(hDlg, IDC_SPEED, "marker");
        radio.uSUnits = 12;
        report(hDlg);
        EXPECT_EQ(text(IDC_FREQ), " 7.052.500");
        EXPECT_EQ(local.ulFrequency, 7052500u);
        EXPECT_EQ(text(IDC_SPEED), "marker");
        EXPECT_EQ(progress(IDC_SUNIT), 100); // capped
        EXPECT_THAT(queuedTexts(), IsEmpty());

        // A mode the panel has no button for leaves the marks.
        radio.uMode = 3;
        report(hDlg);
        EXPECT_THAT(checkedAmong(IDC_AM, IDC_SSB), ElementsAre(IDC_AM));
        EXPECT_EQ(local.uMode, 3u);
        radio.uMode = MODE_SSB;
        radio.uSUnits = 0;
        report(hDlg);
        EXPECT_THAT(checkedAmong(IDC_AM, IDC_SSB), ElementsAre(IDC_SSB));
        EXPECT_EQ(progress(IDC_SUNIT), 0);

        // A new reported frequency wins over the operator's.
        radio.ulFrequency = 7060000;
        report(hDlg);
        EXPECT_EQ(local.ulFrequency, 7060000u);
        EXPECT_EQ(text(IDC_FREQ), " 7.060.000");
    });
}

TEST(Panel, StartAnnouncesThePort) {
    runPanel([](HWND hDlg) {
        answerBoxes(IDOK);
        const int flashes = dialogtest::FlashCount();
        PostMessageA(hDlg, IDUPDATE, START, 0);
        pump();
        EXPECT_EQ(dialogtest::FlashCount(), flashes + 1);
        const auto boxes = boxesSeen();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].szCaption, "Radio Start");
        EXPECT_EQ(boxes[0].szText, "Connected on COM1");
        EXPECT_EQ(boxes[0].uType, MB_OK | MB_ICONINFORMATION);
        EXPECT_EQ(beepCount(), 1);
        EXPECT_EQ(lastBeep(), MB_OK);
    });
    const std::string szLong = "/dev/serial/by-id/usb-" + std::string(200, 'x') + "-port0";
    runPanel(
        [&](HWND hDlg) {
            answerBoxes(IDOK);
            PostMessageA(hDlg, IDUPDATE, START, 0);
            pump();
            const auto boxes = boxesSeen();
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].szText, "Connected on " + szLong);
        },
        szLong.c_str());
}

// A receiver in a reboot loop: its announcements while the box is open
// fold into that one box, and the dialog still closes with the box open.
TEST(Panel, AFloodOfStartsShowsOneBoxAndTheDialogStillCloses) {
    int asked = 0;
    const INT_PTR nEnd = runPanel([&](HWND hDlg) {
        dialogtest::SetMessageBoxResponder([&](const dialogtest::MessageBoxSeen&) {
            // Once the flood has been handled beneath the open box, the
            // operator closes the dialog; the box itself is never answered.
            if (++asked == 5) {
                dialogtest::PressCloseBox(hDlg);
            }
            return 0;
        });
        for (int i = 0; i < 600; ++i) {
            PostMessageA(hDlg, IDUPDATE, START, 0);
        }
        pump();
    });
    EXPECT_EQ(nEnd, END_CLOSE);
    EXPECT_GE(asked, 5);
    const auto boxes = boxesSeen();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].szCaption, "Radio Start");
    EXPECT_EQ(beepCount(), 1);
}

// Commands that find the outgoing queue full are kept, not lost: the
// link gets every click, in order, once it makes room.
TEST(Panel, CommandsThatFindTheQueueFullAreKept) {
    runPanel([](HWND) {
        for (int i = 0; i < MAX_QUEUE_ELEMENTS + 10; ++i) {
            click(IDC_LOCK);
        }
        const auto texts = queuedTexts();
        ASSERT_EQ(texts.size(), static_cast<std::size_t>(MAX_QUEUE_ELEMENTS + 10));
        for (std::size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(texts[i], i % 2 == 0 ? "*AL\r" : "*AU\r") << i;
        }
        EXPECT_EQ(QueueMessage.ulKept, 10u);
        EXPECT_EQ(QueueMessage.ulRefused, 0u);
    });
}

// Fills QueueMessage with polls, as a stalled line leaves it.
void fillQueue(int nFree = 0) {
    for (int i = 0; i < MAX_QUEUE_ELEMENTS - nFree; ++i) {
        ASSERT_EQ(enqueue(&QueueMessage, "?S\r", MIN_PRIORITY), QUEUE_SUCCESS);
    }
}

// What the link sends once the queue drains, past the polls it held.
std::vector<std::string> afterThePolls() {
    auto texts = queuedTexts();
    const auto polls =
        std::find_if(texts.begin(), texts.end(), [](const std::string& t) { return t != "?S\r"; });
    return {polls, texts.end()};
}

// Every way the operator tunes waits on a full queue instead of being
// lost; a later tuning replaces a waiting one (the receiver only needs
// the last), but not across a memory write, which stores the tuning
// made before it. An extended tuning waits whole, never split.
TEST(Panel, TuningsWaitOnAFullQueueAndTheLastOneWins) {
    runPanel([](HWND) {
        fillQueue();
        spin(IDC_SPINFREQ, UP); // 15002500
        for (int id : {IDC_BUTTON9, IDC_BUTTONPOINT, IDC_BUTTON6, IDC_BUTTON5}) {
            click(id);
        }
        click(IDC_SELFREQ); // 9.65 MHz
        click(IDC_CW);
        answerBoxes(IDOK);
        click(IDC_WRITE);
        click(IDC_20M);
        click(IDC_EXT);
        click(IDC_40M);
        EXPECT_THAT(afterThePolls(), ElementsAre("*AF9650000\r", "*RMM2\r", "*KWA1\r", "*AR1432\r",
                                                 "*AN20800\r", "*AD7000000\r"));
        EXPECT_EQ(QueueMessage.ulRefused, 0u);

        // Room for two: the three of an extended tuning wait together, and
        // what follows waits behind them.
        fillQueue(2);
        click(IDC_40M);
        click(IDC_LOCK);
        EXPECT_THAT(afterThePolls(),
                    ElementsAre("*AR1432\r", "*AN20800\r", "*AD7000000\r", "*AL\r"));
    });
}

TEST(Panel, AboutBox) {
    runPanel([](HWND) {
        answerBoxes(IDOK);
        systemMenu(IDC_ABOUT);
        const auto boxes = boxesSeen();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].szCaption, "About Velkor");
        EXPECT_EQ(boxes[0].szText.rfind("Velkor QX4470 Control Program Version 0.9d\n\n", 0), 0u);
        EXPECT_EQ(boxes[0].uType, MB_OK | MB_ICONINFORMATION);
    });
}

TEST(Panel, MessagesItDoesNotHandleAreLeftToTheDialogManager) {
    runPanel([](HWND hDlg) {
        EXPECT_EQ(DialogFunc(hDlg, WM_COMMAND, 999, 0), FALSE);
        EXPECT_EQ(DialogFunc(hDlg, WM_SYSCOMMAND, SC_MINIMIZE, 0), FALSE);
        EXPECT_EQ(DialogFunc(hDlg, IDUPDATE, PORT + 1, 0), FALSE);
        EXPECT_EQ(DialogFunc(hDlg, WM_USER + 77, 0, 0), FALSE);
        NMUPDOWN notice{{nullptr, IDC_SPINFREQ, 0}, 0, UP};
        EXPECT_EQ(DialogFunc(hDlg, WM_NOTIFY, IDC_SPINFREQ, reinterpret_cast<LPARAM>(&notice)),
                  FALSE);
        notice.hdr.code = UDN_DELTAPOS;
        notice.hdr.idFrom = IDC_FREQ;
        EXPECT_EQ(DialogFunc(hDlg, WM_NOTIFY, IDC_FREQ, reinterpret_cast<LPARAM>(&notice)), FALSE);
        // A delta other than one step moves nothing, but tunes all the same.
        notice.hdr.idFrom = IDC_SPINFREQ;
        notice.iDelta = 3;
        EXPECT_EQ(DialogFunc(hDlg, WM_NOTIFY, IDC_SPINFREQ, reinterpret_cast<LPARAM>(&notice)),
                  TRUE);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF15000000\r"));
        EXPECT_EQ(DialogFunc(hDlg, WM_CTLCOLORSTATIC, 0,
                             reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDC_SPEED))),
                  FALSE);
        EXPECT_NE(DialogFunc(hDlg, WM_CTLCOLORSTATIC, 0,
                             reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDC_FREQ))),
                  FALSE);
    });
}

TEST(Panel, KeysOfTheDirectEntryField) {
    runPanel([](HWND) {
        typeInto(IDC_DIRECT, "7100000");
        pressKey(IDC_DIRECT, dialogtest::Key::Enter); // presses Frequency
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF7100000\r"));
        EXPECT_EQ(text(IDC_DIRECT), "");
        pressKey(IDC_SPEED, dialogtest::Key::Up);
        EXPECT_EQ(text(IDC_SPEED), "  5000");
        pressKey(IDC_MEMORY, dialogtest::Key::Down);
        EXPECT_EQ(text(IDC_MEMORY), "  1");
        EXPECT_THAT(queuedTexts(), ElementsAre("*RMI5000\r"));
    });
}

TEST(Panel, FrequencyDisplayLooks) {
    runPanel([](HWND hDlg) {
        const auto colours = dialogtest::FieldColours(hDlg, IDC_FREQ);
        EXPECT_EQ(colours.text, RGB(180, 255, 0));
        EXPECT_EQ(colours.background, RGB(0, 0, 0));
        EXPECT_NE(dialogtest::FieldColours(hDlg, IDC_SPEED).background, RGB(0, 0, 0));
        EXPECT_TRUE(dialogtest::Font(hDlg, IDC_FREQ).bold);
        EXPECT_TRUE(dialogtest::Font(hDlg, IDC_DIRECT).bold);
        EXPECT_GT(dialogtest::Font(hDlg, IDC_FREQ).pixelHeight,
                  dialogtest::Font(hDlg, IDC_SPEED).pixelHeight);
        // The widest texts stay entirely inside the display.
        const auto field = dialogtest::Geometry(hDlg, IDC_FREQ);
        for (const char* szEntry : {"29999999", "15000000", "30000000"}) {
            enterFrequency(szEntry);
            const std::string szShown = text(IDC_FREQ);
            const auto ink = dialogtest::InkBounds(hDlg, IDC_FREQ, RGB(180, 255, 0));
            EXPECT_GT(ink.width, dialogtest::TextWidth(hDlg, IDC_FREQ, szShown) * 8 / 10)
                << szShown;
            EXPECT_GE(ink.x, 1) << szShown;
            EXPECT_LE(ink.x + ink.width, field.width - 1) << szShown;
            EXPECT_GE(ink.y, 1) << szShown;
            EXPECT_LE(ink.y + ink.height, field.height - 1) << szShown;
        }
        EXPECT_TRUE(dialogtest::HasWindowIcon(hDlg));
        EXPECT_TRUE(dialogtest::ShowsPicture(hDlg, IDOK));
        EXPECT_TRUE(dialogtest::ShowsPicture(hDlg, IDC_RESTART));
    });
}

TEST(Panel, RecordingFromTheSystemMenu) {
    const std::string szDir = std::filesystem::temp_directory_path() / "velkor-panel-recordings";
    std::filesystem::remove_all(szDir);
    setenv(szRecordEnv, szDir.c_str(), 1);
    std::string szWav;
    runPanel([&](HWND hDlg) {
        const std::string szCaption = dialogtest::WindowTitle(hDlg);
        EXPECT_EQ(szCaption, "Velkor QX-4470 Control Program");
        auto expectState = [&](bool bAudio, bool bStream, const char* szWhen) {
            EXPECT_EQ(menuChecked(IDC_RECAUDIO), bAudio) << szWhen;
            EXPECT_EQ(menuChecked(IDC_RECSTREAM), bStream) << szWhen;
            EXPECT_EQ(dialogtest::WindowTitle(hDlg),
                      szCaption + (bAudio || bStream ? " - recording" : ""))
                << szWhen;
        };
        // Each starts and stops alone; the caption says so while either runs.
        systemMenu(IDC_RECAUDIO);
        expectState(true, false, "audio on");
        szWav = recordAudioPath();
        systemMenu(IDC_RECSTREAM);
        expectState(true, true, "both on");
        systemMenu(IDC_RECAUDIO);
        expectState(false, true, "audio off again");
        systemMenu(IDC_RECSTREAM);
        expectState(false, false, "both off");
        EXPECT_TRUE(boxesSeen().empty());

        // A directory that cannot be made: a box with the cause, no mark.
        std::ofstream(szDir + "/plain") << "a file";
        setenv(szRecordEnv, (szDir + "/plain/sub").c_str(), 1);
        systemMenu(IDC_RECSTREAM);
        pump();
        ASSERT_EQ(boxesSeen().size(), 1u);
        EXPECT_EQ(boxesSeen()[0].szCaption, "Recording");
        EXPECT_NE(boxesSeen()[0].szText.find("Not a directory"), std::string::npos);
        expectState(false, false, "after the failed start");

        // A fault found by the writer reaches the panel on its own.
        setenv(szRecordEnv, szDir.c_str(), 1);
        systemMenu(IDC_RECSTREAM);
        systemMenu(IDC_RECAUDIO);
        std::filesystem::remove(recordStreamPath());
        EXPECT_TRUE(dialogtest::WaitUntil([] { return boxesSeen().size() == 2; }, 3000));
        EXPECT_NE(boxesSeen().back().szText.find("deleted"), std::string::npos);
        expectState(true, false, "after the stream file was deleted");

        // Closing the panel closes the recording's file.
        szWav = recordAudioPath();
        click(IDOK);
        EXPECT_FALSE(recordAudioIsRecording());
    });
    unsetenv(szRecordEnv);
    // Named after the receiver's start-up frequency and mode.
    EXPECT_NE(szWav.find("-15000000-AM"), std::string::npos) << szWav;
    EXPECT_TRUE(std::filesystem::exists(szWav));
    std::filesystem::remove_all(szDir);
}

TEST(Panel, ClosePathsEndWithTheirCodes) {
    EXPECT_EQ(runPanel([](HWND) { click(IDOK); }), 1);
    EXPECT_EQ(runPanel([](HWND) { pressKey(IDC_DIRECT, dialogtest::Key::Escape); }), 0);
    EXPECT_EQ(runPanel([](HWND hDlg) {
                  PostMessageA(hDlg, WM_CLOSE, 0, 0);
                  pump();
              }),
              0);
    EXPECT_EQ(runPanel([](HWND) { systemMenu(SC_CLOSE); }), 0);
}

} // namespace

namespace {

// The server listens where VELKOR_REMOTE says: any free loopback port.
class RemotePanel : public testing::Test {
  protected:
    void SetUp() override { setenv(szRemoteEnv, "127.0.0.1:0", 1); }
    void TearDown() override {
        remoteClose();
        unsetenv(szRemoteEnv);
    }
};

TEST_F(RemotePanel, MenuItemServesAndTheDialogFollowsRemoteSets) {
    runPanel([](HWND) {
        EXPECT_FALSE(menuChecked(IDC_REMOTE));
        systemMenu(IDC_REMOTE);
        ASSERT_TRUE(menuChecked(IDC_REMOTE));
        RigClient rig(remotePort());
        EXPECT_EQ(rig.ask1("f"), "15000000");

        // A remote tuning shows as the operator's own: display, band mark,
        // local, and the same commands (with Ext, the dividers first).
        EXPECT_EQ(rig.ask1("F 7074000"), "RPRT 0");
        pump();
        EXPECT_EQ(local.ulFrequency, 7074000u);
        EXPECT_EQ(text(IDC_FREQ), " 7.074.000");
        EXPECT_TRUE(checked(IDC_40M));
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF7074000\r"));
        click(IDC_EXT);
        std::this_thread::sleep_for(std::chrono::milliseconds(REMOTE_SET_SPACING_MS));
        EXPECT_EQ(rig.ask1("F 7000000"), "RPRT 0");
        const Commands extended = queuedTexts();
        ASSERT_EQ(extended.size(), 3u);
        EXPECT_EQ(extended[2], "*AD7000000\r");

        // A remote mode as a mode button: the mark, not local.
        const DWORD uMode = local.uMode;
        EXPECT_EQ(rig.ask1("M CW 0"), "RPRT 0");
        pump();
        EXPECT_TRUE(checked(IDC_CW));
        EXPECT_EQ(local.uMode, uMode);
        EXPECT_THAT(queuedTexts(), ElementsAre("*RMM2\r"));

        // The panel's Lock refuses remote sets.
        click(IDC_LOCK);
        queued();
        EXPECT_EQ(rig.ask1("F 9000000"), "RPRT -9");
        EXPECT_THAT(queuedTexts(), IsEmpty());

        // Off again: its clients are closed.
        systemMenu(IDC_REMOTE);
        EXPECT_FALSE(menuChecked(IDC_REMOTE));
        EXPECT_TRUE(rig.closedByServer());
        EXPECT_FALSE(RigClient(remotePort()).connected());
    });
}

// A remote client's sets wait on a full queue as the operator's do.
TEST_F(RemotePanel, RemoteSetsWaitOnAFullQueue) {
    runPanel([](HWND) {
        systemMenu(IDC_REMOTE);
        RigClient rig(remotePort());
        fillQueue();
        EXPECT_EQ(rig.ask1("F 7074000"), "RPRT 0");
        EXPECT_EQ(rig.ask1("M CW 0"), "RPRT 0");
        std::this_thread::sleep_for(std::chrono::milliseconds(REMOTE_SET_SPACING_MS));
        EXPECT_EQ(rig.ask1("F 14074000"), "RPRT 0");
        EXPECT_THAT(afterThePolls(), ElementsAre("*RMM2\r", "*AF14074000\r"));
        EXPECT_EQ(QueueMessage.ulRefused, 0u);
    });
}

TEST_F(RemotePanel, ClosingThePanelClosesItsClients) {
    std::unique_ptr<RigClient> rig;
    EXPECT_EQ(runPanel([&](HWND) {
                  systemMenu(IDC_REMOTE);
                  rig = std::make_unique<RigClient>(remotePort());
                  EXPECT_EQ(rig->ask1("\\get_powerstat"), "1");
                  ASSERT_TRUE(rig->send("\\dump_st")); // half a line
                  click(IDOK);
              }),
              END_EXIT);
    EXPECT_FALSE(remoteRunning());
    EXPECT_TRUE(rig->closedByServer());
}

TEST_F(RemotePanel, APortInUseIsNamedAndThePanelRunsOn) {
    std::string szError;
    const SOCKET hBusy = ListenSocket("127.0.0.1", 0, &szError);
    ASSERT_NE(hBusy, INVALID_SOCKET) << szError;
    const std::string szAddress = "127.0.0.1:" + std::to_string(SocketPort(hBusy));
    setenv(szRemoteEnv, szAddress.c_str(), 1);
    runPanel([&](HWND) {
        testing::internal::CaptureStderr();
        systemMenu(IDC_REMOTE);
        const std::string szStderr = testing::internal::GetCapturedStderr();
        EXPECT_NE(szStderr.find(szAddress), std::string::npos) << szStderr;
        EXPECT_NE(szStderr.find("in use"), std::string::npos) << szStderr;
        ASSERT_FALSE(boxesSeen().empty());
        EXPECT_EQ(boxesSeen().back().szCaption, "Remote Control");
        EXPECT_NE(boxesSeen().back().szText.find("in use"), std::string::npos);
        EXPECT_FALSE(menuChecked(IDC_REMOTE));
        EXPECT_FALSE(remoteRunning());
        // The panel goes on.
        click(IDC_AM);
        EXPECT_THAT(queuedTexts(), ElementsAre("*RMM4\r"));
    });
    closesocket(hBusy);
}

} // namespace

namespace {

TEST(Panel, ThePortMarksFollowTheLink) {
    runPanel(
        [](HWND hDlg) {
            const std::string szTitle = "Velkor QX-4470 Control Program";
            PostMessageA(hDlg, IDUPDATE, PORT, FALSE);
            pump();
            EXPECT_EQ(text(IDC_COM), "(disconnected) /dev/ttyUSB0");
            EXPECT_EQ(dialogtest::WindowTitle(hDlg), szTitle + " - disconnected");
            PostMessageA(hDlg, IDUPDATE, PORT, TRUE);
            pump();
            EXPECT_EQ(text(IDC_COM), "/dev/ttyUSB0");
            EXPECT_EQ(dialogtest::WindowTitle(hDlg), szTitle);
            // Another state's suffix stands beside it, the disconnection last.
            setCaptionState(hDlg, CAPTION_RECORDING, true);
            PostMessageA(hDlg, IDUPDATE, PORT, FALSE);
            pump();
            EXPECT_EQ(dialogtest::WindowTitle(hDlg), szTitle + " - recording - disconnected");
            setCaptionState(hDlg, CAPTION_RECORDING, false);
            EXPECT_EQ(dialogtest::WindowTitle(hDlg), szTitle + " - disconnected");
            PostMessageA(hDlg, IDUPDATE, PORT, TRUE);
            pump();
            EXPECT_TRUE(boxesSeen().empty()); // no box either way
        },
        "/dev/ttyUSB0");
}

// A machine with one adapter (and its stable name), one modem, a real
// legacy port and a legacy name without a UART behind it, as /dev and
// /sys show them.
struct FakeMachine {
    explicit FakeMachine(const std::filesystem::path& top) : dev(top / "dev"), sys(top / "sys") {
        namespace fs = std::filesystem;
        fs::create_directories(dev / "serial" / "by-id");
        for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "tty1"})
            std::ofstream(dev / name) << "";
        fs::create_symlink("../../ttyUSB2", dev / "serial" / "by-id" /
                                                "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        fs::create_symlink("../../ttyACM0",
                           dev / "serial" / "by-id" / "usb-Arduino_Uno_7563331-if00");
        fs::create_symlink("../../ttyUSB7", dev / "serial" / "by-id" / "usb-gone-if00-port0");
        const auto usb = sys / "devices" / "usb1" / "1-1";
        fs::create_directories(usb / "1-1:1.0" / "ttyUSB2");
        std::ofstream(usb / "idVendor") << "0403\n";
        std::ofstream(usb / "manufacturer") << "FTDI\n";
        std::ofstream(usb / "product") << "FT232R USB UART\n";
        std::ofstream(usb / "serial") << "A50285BI\n";
        for (const char* name : {"ttyUSB2", "ttyS0", "ttyS1"})
            fs::create_directories(sys / "class" / "tty" / name);
        fs::create_directory_symlink(usb / "1-1:1.0" / "ttyUSB2",
                                     sys / "class" / "tty" / "ttyUSB2" / "device");
        std::ofstream(sys / "class" / "tty" / "ttyS0" / "type") << "4\n";
        std::ofstream(sys / "class" / "tty" / "ttyS1" / "type") << "0\n";
    }
    std::filesystem::path dev, sys;
};

TEST(Panel, ThePortChooserListsThePortsPresentWithTheirAdapters) {
    TempDir top;
    const FakeMachine machine(top.path);
    const auto ports = EnumSerialPorts(machine.dev.c_str(), machine.sys.c_str());
    const std::string byId = (machine.dev / "serial" / "by-id").string() + "/";
    const std::string dev = machine.dev.string() + "/";
    std::vector<std::string> names;
    for (const SERIALPORT& port : ports)
        names.push_back(port.szName);
    EXPECT_THAT(names, testing::ElementsAre(byId + "usb-Arduino_Uno_7563331-if00",
                                            byId + "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                                            dev + "ttyUSB2", dev + "ttyUSB10", dev + "ttyACM0",
                                            dev + "ttyS0"));
    ASSERT_EQ(ports.size(), 6u);
    EXPECT_EQ(ports[0].szDescription, "Arduino Uno 7563331"); // from the name: no sysfs entry
    EXPECT_EQ(ports[1].szDescription, "FTDI FT232R USB UART, serial A50285BI");
    EXPECT_EQ(ports[2].szDescription, "FTDI FT232R USB UART, serial A50285BI");

    runPanel([&](HWND hDlg) {
        std::vector<std::string> shown;
        std::string field;
        whenPortChooserOpens([&](QDialog& chooser) {
            auto* list = chooser.findChild<QListWidget*>("ports");
            for (int i = 0; i < list->count(); ++i)
                shown.push_back(list->item(i)->text().toStdString());
            field = chooser.findChild<QLineEdit*>("name")->text().toStdString();
            list->setCurrentRow(1);
            chooser.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        std::string chosen;
        EXPECT_TRUE(ChoosePortDialog(hDlg, ports, "COM1", &chosen));
        EXPECT_EQ(field, "COM1");
        ASSERT_EQ(shown.size(), 6u);
        EXPECT_EQ(shown[1], ports[1].szName + "\n    FTDI FT232R USB UART, serial A50285BI");
        EXPECT_EQ(chosen, ports[1].szName);

        whenPortChooserOpens([](QDialog& chooser) { chooser.reject(); });
        EXPECT_FALSE(ChoosePortDialog(hDlg, {}, "COM1", &chosen));
    });
}

// Choosing from the system menu: the Port field shows the new name at
// once, a port that cannot be opened is warned about as at start-up, and
// the choice is kept for the next run.
TEST(Panel, APortChosenFromTheMenuIsShownWarnedAboutAndKept) {
    TempDir config;
    setenv("XDG_CONFIG_HOME", config.path.c_str(), 1);
    const std::string szMissing = (config.path / "no-such-port").string();
    runPanel([&](HWND hDlg) {
        whenPortChooserOpens([&](QDialog& chooser) {
            auto* field = chooser.findChild<QLineEdit*>("name");
            EXPECT_EQ(field->text().toStdString(), "COM1");
            field->setText(QString::fromStdString(szMissing));
            chooser.accept();
        });
        systemMenu(IDC_PORT);
        EXPECT_EQ(text(IDC_COM), szMissing);
        const auto boxes = boxesSeen();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].szCaption, "Device Unavailable");
        EXPECT_EQ(boxes[0].szText, szMissing);
        EXPECT_EQ(dialogtest::WindowTitle(hDlg), "Velkor QX-4470 Control Program - disconnected");
        EXPECT_EQ(pCom, szMissing);
    });
    comClose();
    std::ifstream saved(config.path / "velkor" / "velkor.conf");
    const std::string content((std::istreambuf_iterator<char>(saved)), {});
    EXPECT_NE(content.find(szMissing), std::string::npos) << content;
    unsetenv("XDG_CONFIG_HOME");
}

} // namespace

namespace {

QWidget* bandScope() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->windowTitle() == "Band Scope" && widget->isVisible())
            return widget;
    return nullptr;
}

template <typename T> T* scopeControl(QWidget* scope, const char* szName) {
    for (T* control : scope->findChildren<T*>())
        if (control->accessibleName() == szName)
            return control;
    return nullptr;
}

} // namespace

// The band scope opens from the system menu and with Ctrl+B, offers the
// range around the frequency when no band covers it, names every
// control, and refuses a bad range with a message, sending nothing.
TEST(Panel, BandScopeOpensAndRefusesABadRange) {
    runPanel([](HWND hDlg) {
        QWidget* dialog = DialogWidget(hDlg);
        ASSERT_NE(dialog, nullptr);
        dialog->activateWindow();
        QTest::keyClick(dialog, Qt::Key_B, Qt::ControlModifier);
        pump();
        QWidget* scope = bandScope();
        EXPECT_NE(scope, nullptr) << "Ctrl+B";
        scopeClose();
        systemMenu(IDC_BANDSCOPE);
        scope = bandScope();
        ASSERT_NE(scope, nullptr);
        for (QWidget* control : scope->findChildren<QWidget*>()) {
            if (control->focusPolicy() != Qt::NoFocus && !control->isWindow() &&
                !control->parent()->inherits("QAbstractSpinBox")) {
                EXPECT_FALSE(control->accessibleName().isEmpty())
                    << control->metaObject()->className();
            }
        }
        auto* start = scopeControl<QLineEdit>(scope, "Start kHz");
        auto* stop = scopeControl<QLineEdit>(scope, "Stop kHz");
        auto* sweep = scopeControl<QPushButton>(scope, "Sweep");
        ASSERT_TRUE(start && stop && sweep);
        EXPECT_EQ(start->text().toStdString(), "14900");
        EXPECT_EQ(stop->text().toStdString(), "15100");
        queuedTexts();
        answerBoxes(IDOK);
        start->setText("9900");
        stop->setText("9400");
        sweep->click();
        start->setText("9400");
        stop->setText("31000");
        sweep->click();
        const auto boxes = boxesSeen();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].szCaption, "Band Scope");
        EXPECT_EQ(boxes[0].szText, "The start must lie below the stop.");
        EXPECT_EQ(boxes[1].szText, "The range must lie within 100 kHz and 30 MHz.");
        EXPECT_TRUE(queuedTexts().empty());
        scopeClose();
    });
}

// The band scope scans what the station list gives: the stations on the
// air now and a tag's stations; an empty list, or no memory channel known
// to hold a frequency, is refused with a message and starts nothing.
TEST(Panel, BandScopeScansTheStationLists) {
    runPanel([](HWND) {
        static bool bOnAir = false;
        SCOPESTATIONS source;
        source.pOnAirNow = [] {
            return bOnAir ? std::vector<SCANCHANNEL>{{9500000, MODE_AM, 0}, {9650000, 0, 0}}
                          : std::vector<SCANCHANNEL>{};
        };
        source.pTags = [] { return std::vector<std::string>{"Europe", "News"}; };
        source.pTagged = [](const std::string& szTag) {
            return szTag == "News" ? std::vector<SCANCHANNEL>{{6070000, 0, 0}}
                                   : std::vector<SCANCHANNEL>{};
        };
        scopeSetStations(source);
        scanSetMemories(nullptr);
        systemMenu(IDC_BANDSCOPE);
        QWidget* scope = bandScope();
        ASSERT_NE(scope, nullptr);
        auto* onAir = scopeControl<QPushButton>(scope, "Scan On Air Now");
        auto* memories = scopeControl<QPushButton>(scope, "Scan Memories");
        auto* tagged = scopeControl<QPushButton>(scope, "Scan Tag");
        auto* tags = scopeControl<QComboBox>(scope, "Tag to scan");
        ASSERT_TRUE(onAir && memories && tagged && tags);
        ASSERT_EQ(tags->count(), 2);
        answerBoxes(IDOK);
        const std::size_t before = boxesSeen().size();
        onAir->click();
        memories->click();
        tags->setCurrentIndex(0);
        tagged->click();
        const auto boxes = boxesSeen();
        ASSERT_EQ(boxes.size(), before + 3);
        EXPECT_EQ(boxes[before].szText, "No station of the list is on the air now.");
        EXPECT_NE(boxes[before + 1].szText.find("No memory channel"), std::string::npos);
        EXPECT_NE(boxes[before + 2].szText.find("No station with this tag"), std::string::npos);
        EXPECT_EQ(scanState(), SCAN_IDLE);

        bOnAir = true;
        onAir->click();
        EXPECT_EQ(scanState(), SCAN_SEARCHING);
        scanStop();
        tags->setCurrentIndex(1);
        tagged->click();
        EXPECT_EQ(scanState(), SCAN_SEARCHING);
        scanStop();
        EXPECT_EQ(boxesSeen().size(), before + 3);
        scopeSetStations({});
        scopeClose();
    });
}
