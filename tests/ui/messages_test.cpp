// Posted messages, message boxes and field colours.
#include "test_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>

#include <atomic>
#include <thread>

namespace {

using namespace uitest;

constexpr UINT IDUPDATE_TEST = WM_USER + 1;

TEST(Posting, MessagesPostedFromAnotherThreadArriveInOrderOnTheDialogsThread) {
    reset();
    std::vector<WPARAM> seen;
    std::thread::id procThread;
    setExtra([&](HWND, UINT msg, WPARAM wParam, LPARAM, INT_PTR& answer) {
        if (msg != IDUPDATE_TEST) {
            return false;
        }
        seen.push_back(wParam);
        procThread = std::this_thread::get_id();
        answer = TRUE;
        return true;
    });
    run([&](HWND hDlg) {
        std::thread poster([hDlg] {
            for (WPARAM i = 0; i < 100; ++i) {
                PostMessageA(hDlg, IDUPDATE_TEST, i, 0);
            }
        });
        poster.join();
        ASSERT_TRUE(dialogtest::WaitUntil([&] { return seen.size() == 100; }));
    });
    ASSERT_EQ(seen.size(), 100u);
    for (WPARAM i = 0; i < 100; ++i) {
        EXPECT_EQ(seen[i], i);
    }
    EXPECT_EQ(procThread, std::this_thread::get_id());
}

TEST(Posting, PostedMessagesKeepArrivingWhileAMessageBoxIsOpen) {
    reset();
    std::atomic<int> arrived{0};
    std::atomic<bool> boxOpen{false};
    int arrivedWhileOpen = 0;
    setExtra([&](HWND hDlg, UINT msg, WPARAM wParam, LPARAM, INT_PTR& answer) {
        if (msg == IDUPDATE_TEST) {
            ++arrived;
            SetDlgItemTextA(hDlg, IDC_FREQ, std::to_string(arrived.load()).c_str());
            answer = TRUE;
            return true;
        }
        if (msg == WM_COMMAND && LOWORD(wParam) == IDC_WRITE) {
            answer = TRUE;
            boxOpen = true;
            const int result =
                MessageBoxA(hDlg, "Are you sure?", "Memory Write", MB_OKCANCEL | MB_ICONQUESTION);
            boxOpen = false;
            EXPECT_EQ(result, IDOK);
            return true;
        }
        return false;
    });
    // The box is answered only once ten posted messages have been handled
    // beneath it.
    dialogtest::SetMessageBoxResponder([&](const dialogtest::MessageBoxSeen&) {
        arrivedWhileOpen = arrived.load();
        return arrived.load() >= 10 ? IDOK : 0;
    });
    run([&](HWND hDlg) {
        std::atomic<bool> stop{false};
        std::thread poster([&] {
            while (!stop) {
                if (boxOpen) {
                    PostMessageA(hDlg, IDUPDATE_TEST, 0, 0);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        dialogtest::Click(hDlg, IDC_WRITE); // returns once the box has been answered
        stop = true;
        poster.join();
        EXPECT_GE(arrivedWhileOpen, 10);
        dialogtest::ProcessEvents(20); // the last few posted before the box closed
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_FREQ), std::to_string(arrived.load()));
    });
    ASSERT_EQ(dialogtest::MessageBoxesSeen().size(), 1u);
}

TEST(Posting, PostingToAnEndedDialogFails) {
    reset();
    HWND kept = nullptr;
    run([&](HWND hDlg) { kept = hDlg; });
    EXPECT_EQ(PostMessageA(kept, IDUPDATE_TEST, 0, 0), FALSE);
    EXPECT_EQ(GetDlgItem(kept, IDC_FREQ), nullptr);
    EXPECT_EQ(SetDlgItemTextA(kept, IDC_FREQ, "x"), FALSE);
    EXPECT_EQ(PostMessageA(nullptr, IDUPDATE_TEST, 0, 0), FALSE);
}

TEST(MessageBoxes, CaptionTextIconAndAnswerReachTheProgram) {
    reset();
    std::vector<int> results;
    int answer = IDCANCEL;
    dialogtest::SetMessageBoxResponder([&](const dialogtest::MessageBoxSeen&) { return answer; });
    run([&](HWND hDlg) {
        results.push_back(
            MessageBoxA(hDlg, "Are you sure?", "Memory Write", MB_OKCANCEL | MB_ICONQUESTION));
        answer = IDOK;
        results.push_back(
            MessageBoxA(hDlg, "Are you sure?", "Memory Write", MB_OKCANCEL | MB_ICONQUESTION));
        answer = IDCANCEL; // a box with OK alone answers OK
        results.push_back(
            MessageBoxA(hDlg, "COM9", "Device Unavailable", MB_OK | MB_ICONEXCLAMATION));
        MessageBoxA(hDlg, "Connected on COM1", "Radio Start", MB_OK | MB_ICONINFORMATION);
    });
    EXPECT_EQ(results, (std::vector<int>{IDCANCEL, IDOK, IDOK}));
    const auto& seen = dialogtest::MessageBoxesSeen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].caption, "Memory Write");
    EXPECT_EQ(seen[0].text, "Are you sure?");
    EXPECT_EQ(seen[0].icon, MB_ICONQUESTION);
    EXPECT_EQ(seen[0].buttons, MB_OKCANCEL);
    EXPECT_EQ(seen[2].caption, "Device Unavailable");
    EXPECT_EQ(seen[2].icon, MB_ICONEXCLAMATION);
    EXPECT_EQ(seen[2].buttons, MB_OK);
    EXPECT_EQ(seen[3].icon, MB_ICONINFORMATION);
}

TEST(MessageBoxes, ABoxDuringInitialisationComesBeforeTheDialogWhichThenRuns) {
    reset();
    bool shownDuringInit = false;
    setExtra([&](HWND hDlg, UINT msg, WPARAM, LPARAM, INT_PTR& answer) {
        if (msg != WM_INITDIALOG) {
            return false;
        }
        SetDlgItemTextA(hDlg, IDC_COM, "ttyNONE");
        MessageBeep(MB_ICONEXCLAMATION);
        MessageBoxA(hDlg, "ttyNONE", "Device Unavailable", MB_OK | MB_ICONEXCLAMATION);
        shownDuringInit = dialogtest::MessageBoxesSeen().size() == 1;
        answer = FALSE;
        return true;
    });
    bool ran = false;
    const INT_PTR code = run([&](HWND hDlg) {
        ran = true;
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_COM), "ttyNONE");
        PostMessageA(hDlg, IDUPDATE_TEST, 0, 0);
        EXPECT_TRUE(dialogtest::WaitUntil([] { return !receivedOf(IDUPDATE_TEST).empty(); }));
        dialogtest::PressKey(hDlg, dialogtest::Key::Escape);
        EndDialog(hDlg, 0);
    });
    EXPECT_TRUE(shownDuringInit);
    EXPECT_TRUE(ran);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(dialogtest::MessageBoxesSeen().size(), 1u);
    EXPECT_EQ(dialogtest::MessageBoxesSeen()[0].caption, "Device Unavailable");
}

TEST(MessageBoxes, BeepsAndFlashesAreCounted) {
    reset();
    const int beeps = dialogtest::BeepCount();
    const int flashes = dialogtest::FlashCount();
    run([](HWND hDlg) {
        MessageBeep(MB_ICONQUESTION);
        FlashWindow(hDlg, TRUE);
    });
    EXPECT_EQ(dialogtest::BeepCount(), beeps + 1);
    EXPECT_EQ(dialogtest::LastBeep(), MB_ICONQUESTION);
    EXPECT_EQ(dialogtest::FlashCount(), flashes + 1);
}

TEST(Colours, ReadOnlyFieldsTakeTheColoursTheProcedureAnswers) {
    reset();
    run([](HWND hDlg) {
        const auto freq = dialogtest::FieldColours(hDlg, IDC_FREQ);
        EXPECT_EQ(freq.text, RGB(180, 255, 0));
        EXPECT_EQ(freq.background, RGB(0, 0, 0));
        // Answered FALSE: the default colours, which are not those.
        const auto speed = dialogtest::FieldColours(hDlg, IDC_SPEED);
        EXPECT_NE(speed.background, RGB(0, 0, 0));
        EXPECT_NE(speed.text, RGB(180, 255, 0));
        // The drawn field shows them.
        SetDlgItemTextA(hDlg, IDC_FREQ, "15.000.000");
        EXPECT_GT(dialogtest::InkBounds(hDlg, IDC_FREQ, RGB(180, 255, 0)).width, 0);
    });
}

// With the desktop's high-contrast palette the procedure's colours give
// way to the palette's. The desktop's palette is in place before the
// dialog is built, as Qt takes it from the desktop at start-up.
TEST(Colours, AHighContrastPaletteOverridesTheProcedure) {
    reset();
    const QPalette before = QApplication::palette();
    QPalette contrast = before;
    for (const auto& [role, colour] :
         {std::pair{QPalette::Window, Qt::black}, std::pair{QPalette::WindowText, Qt::white},
          std::pair{QPalette::Base, Qt::black}, std::pair{QPalette::Text, Qt::yellow}}) {
        contrast.setColor(role, colour);
    }
    QApplication::setPalette(contrast);
    run([](HWND hDlg) {
        for (int id : {IDC_FREQ, IDC_SPEED}) {
            const auto colours = dialogtest::FieldColours(hDlg, id);
            EXPECT_EQ(colours.text, RGB(255, 255, 0)) << id;
            EXPECT_EQ(colours.background, RGB(0, 0, 0)) << id;
        }
    });
    QApplication::setPalette(before);
    run([](HWND hDlg) {
        EXPECT_EQ(dialogtest::FieldColours(hDlg, IDC_FREQ).text, RGB(180, 255, 0));
    });
}

TEST(Colours, AnswerThatIsNoBrushKeepsTheDefaultColours) {
    reset();
    setExtra([](HWND, UINT msg, WPARAM wParam, LPARAM, INT_PTR& answer) {
        if (msg != WM_CTLCOLORSTATIC) {
            return false;
        }
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 0, 0));
        answer = TRUE; // not a brush
        return true;
    });
    run([](HWND hDlg) {
        EXPECT_NE(dialogtest::FieldColours(hDlg, IDC_FREQ).text, RGB(255, 0, 0));
    });
}

} // namespace
