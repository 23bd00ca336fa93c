// How the controls answer the mouse and the keyboard, as the dialog
// procedure sees it.
#include "test_dialog.h"

#include <gtest/gtest.h>

namespace {

using namespace uitest;
using dialogtest::Key;

std::vector<int> commandIds() {
    std::vector<int> ids;
    for (const Received& r : receivedOf(WM_COMMAND)) {
        ids.push_back(r.id);
    }
    return ids;
}

TEST(Buttons, CheckBoxesMarkThemselvesBeforeTheirCommandArrives) {
    reset();
    run([](HWND hDlg) {
        dialogtest::Click(hDlg, IDC_LOCK);
        ASSERT_EQ(receivedOf(WM_COMMAND).size(), 1u);
        EXPECT_EQ(receivedOf(WM_COMMAND)[0].id, IDC_LOCK);
        EXPECT_TRUE(receivedOf(WM_COMMAND)[0].markAtCommand);
        EXPECT_EQ(IsDlgButtonChecked(hDlg, IDC_LOCK), BST_CHECKED);
        dialogtest::Click(hDlg, IDC_LOCK);
        EXPECT_FALSE(receivedOf(WM_COMMAND)[1].markAtCommand);
        EXPECT_EQ(IsDlgButtonChecked(hDlg, IDC_LOCK), BST_UNCHECKED);
        EXPECT_EQ(HIWORD(receivedOf(WM_COMMAND)[1].wParam), BN_CLICKED);
    });
}

TEST(Buttons, RadioButtonsSendTheirCommandButKeepTheirMark) {
    reset();
    run([](HWND hDlg) {
        dialogtest::Click(hDlg, IDC_CW);
        EXPECT_EQ(commandIds(), std::vector<int>{IDC_CW});
        EXPECT_FALSE(dialogtest::Checked(hDlg, IDC_CW));

        CheckRadioButton(hDlg, IDC_AM, IDC_SSB, IDC_AM);
        dialogtest::Click(hDlg, IDC_SSB);
        EXPECT_TRUE(dialogtest::Checked(hDlg, IDC_AM));
        EXPECT_FALSE(dialogtest::Checked(hDlg, IDC_SSB));
        dialogtest::Click(hDlg, IDC_AM); // the marked one stays marked
        EXPECT_TRUE(dialogtest::Checked(hDlg, IDC_AM));
        EXPECT_EQ(commandIds(), (std::vector<int>{IDC_CW, IDC_SSB, IDC_AM}));
    });
}

TEST(Buttons, CheckRadioButtonMarksOneAndClearsTheRangeOnly) {
    reset();
    run([](HWND hDlg) {
        CheckRadioButton(hDlg, IDC_AM, IDC_SSB, IDC_CW);
        CheckRadioButton(hDlg, IDC_160M, IDC_10M, IDC_20M);
        EXPECT_TRUE(dialogtest::Checked(hDlg, IDC_CW));
        EXPECT_TRUE(dialogtest::Checked(hDlg, IDC_20M));
        CheckRadioButton(hDlg, IDC_160M, IDC_10M, 0); // outside the range: clears them all
        for (int id = IDC_160M; id <= IDC_10M; ++id) {
            EXPECT_FALSE(dialogtest::Checked(hDlg, id)) << id;
        }
        EXPECT_TRUE(dialogtest::Checked(hDlg, IDC_CW)); // the other group is untouched
        CheckDlgButton(hDlg, IDC_LOCK, BST_CHECKED);
        EXPECT_TRUE(dialogtest::Checked(hDlg, IDC_LOCK));
        EXPECT_TRUE(receivedOf(WM_COMMAND).empty()); // marks set by the program send nothing
    });
}

TEST(Buttons, DisabledAndHiddenControlsSendNothingUntilShownAndEnabled) {
    reset();
    run([](HWND hDlg) {
        dialogtest::Click(hDlg, IDC_AUDIO);
        EXPECT_TRUE(receivedOf(WM_COMMAND).empty());
        EXPECT_TRUE(EnableWindow(GetDlgItem(hDlg, IDC_AUDIO), TRUE)); // it was disabled
        dialogtest::Click(hDlg, IDC_AUDIO);
        EXPECT_EQ(commandIds(), std::vector<int>{IDC_AUDIO});
        EXPECT_TRUE(dialogtest::Checked(hDlg, IDC_AUDIO));

        EXPECT_FALSE(ShowWindow(GetDlgItem(hDlg, IDC_31M), SW_SHOW)); // it was hidden
        EXPECT_TRUE(dialogtest::Visible(hDlg, IDC_31M));
        EXPECT_TRUE(ShowWindow(GetDlgItem(hDlg, IDC_31M), SW_HIDE));
        EXPECT_FALSE(dialogtest::Visible(hDlg, IDC_31M));
    });
}

TEST(Spinners, ArrowsAndArrowKeysSendStepsFromTheSpinner) {
    reset();
    run([](HWND hDlg) {
        dialogtest::ClickSpinner(hDlg, IDC_SPINFREQ, -1);
        dialogtest::ClickSpinner(hDlg, IDC_SPINFREQ, +1);
        dialogtest::ClickSpinner(hDlg, IDC_SPINMEMORY, -1);
        dialogtest::FocusControl(hDlg, IDC_SPEED);
        dialogtest::PressKey(hDlg, Key::Up);
        dialogtest::PressKey(hDlg, Key::Down);
        const auto steps = receivedOf(WM_NOTIFY);
        ASSERT_EQ(steps.size(), 5u);
        const std::vector<std::pair<int, int>> expected{{IDC_SPINFREQ, -1},
                                                        {IDC_SPINFREQ, +1},
                                                        {IDC_SPINMEMORY, -1},
                                                        {IDC_SPINSPEED, -1},
                                                        {IDC_SPINSPEED, +1}};
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].code, UDN_DELTAPOS);
            EXPECT_EQ(steps[i].id, expected[i].first) << i;
            EXPECT_EQ(steps[i].delta, expected[i].second) << i;
            EXPECT_EQ(steps[i].wParam, static_cast<WPARAM>(expected[i].first));
        }
        // Up and Down in a field without a spinner step nothing.
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::PressKey(hDlg, Key::Up);
        EXPECT_EQ(receivedOf(WM_NOTIFY).size(), 5u);
    });
}

TEST(Keys, EnterInAFieldPressesTheDefaultButtonAndEscapeCancels) {
    reset();
    run([](HWND hDlg) {
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::TypeText(hDlg, "14.2");
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_DIRECT), "14.2");
        dialogtest::PressKey(hDlg, Key::Enter);
        dialogtest::PressKey(hDlg, Key::Escape);
        EXPECT_EQ(commandIds(), (std::vector<int>{IDC_SELFREQ, IDCANCEL}));
        // Enter on a focused push button presses that button.
        dialogtest::FocusControl(hDlg, IDC_READ);
        dialogtest::PressKey(hDlg, Key::Enter);
        EXPECT_EQ(commandIds().back(), IDC_READ);
        // Nothing of this ended the dialog.
        EXPECT_TRUE(dialogtest::Visible(hDlg, IDC_DIRECT));
    });
}

TEST(Keys, AccessKeysPressTheirButtons) {
    reset();
    run([](HWND hDlg) {
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::PressAccessKey(hDlg, 'w');
        dialogtest::PressAccessKey(hDlg, 's');
        EXPECT_EQ(commandIds(), (std::vector<int>{IDC_WRITE, IDC_SELSPEED}));
    });
}

TEST(Closing, CloseBoxAndAltF4SendWmCloseAndOnlyEndDialogEnds) {
    reset();
    const INT_PTR code = run([](HWND hDlg) {
        dialogtest::PressKey(hDlg, Key::AltF4);
        EXPECT_EQ(receivedOf(WM_CLOSE).size(), 1u);
        dialogtest::PressCloseBox(hDlg);
        EXPECT_EQ(receivedOf(WM_CLOSE).size(), 2u);
        EXPECT_TRUE(receivedOf(WM_COMMAND).empty());
        EXPECT_TRUE(dialogtest::Visible(hDlg, IDC_FREQ));
        EndDialog(hDlg, 7);
    });
    EXPECT_EQ(code, 7);
}

TEST(Closing, EndDialogDuringInitialisationNeverShowsTheDialog) {
    reset();
    bool shown = false;
    setExtra([](HWND hDlg, UINT msg, WPARAM, LPARAM, INT_PTR& answer) {
        if (msg == WM_INITDIALOG) {
            EndDialog(hDlg, 0);
            answer = FALSE;
            return true;
        }
        return false;
    });
    const INT_PTR code = run([&](HWND) { shown = true; });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(shown);
}

TEST(Focus, InitialisationAnsweredTrueFocusesTheFirstTabStopFalseLeavesItToTheProcedure) {
    reset();
    HWND offered = nullptr;
    setExtra([&](HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& answer) {
        if (msg != WM_INITDIALOG) {
            return false;
        }
        offered = reinterpret_cast<HWND>(wParam);
        EXPECT_EQ(lParam, 77);
        answer = GetDlgItem(hDlg, IDC_DIRECT) != nullptr; // TRUE
        return true;
    });
    dialogtest::RunDialog(
        IDD_MAIN, TestProc,
        [&](HWND hDlg) {
            EXPECT_EQ(offered, GetDlgItem(hDlg, IDOK));
            EXPECT_EQ(dialogtest::FocusId(hDlg), IDOK);
        },
        -2, 77);

    setExtra([](HWND hDlg, UINT msg, WPARAM, LPARAM, INT_PTR& answer) {
        if (msg != WM_INITDIALOG) {
            return false;
        }
        SetFocus(GetDlgItem(hDlg, IDC_DIRECT));
        answer = FALSE;
        return true;
    });
    run([](HWND hDlg) { EXPECT_EQ(dialogtest::FocusId(hDlg), IDC_DIRECT); });
}

TEST(Closing, EndDialogEndsOnceTheCurrentMessageIsHandled) {
    reset();
    int handledAfterEnd = 0;
    setExtra([&](HWND hDlg, UINT msg, WPARAM wParam, LPARAM, INT_PTR& answer) {
        if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
            EndDialog(hDlg, 1);
            // Still inside the message: the controls are all there.
            handledAfterEnd = SetDlgItemTextA(hDlg, IDC_COM, "after");
            answer = TRUE;
            return true;
        }
        return false;
    });
    const INT_PTR code = run([](HWND hDlg) { dialogtest::Click(hDlg, IDOK); });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(handledAfterEnd, TRUE);
}

TEST(Driver, ScriptsADialogThatTheCodeUnderTestRunsItself) {
    reset();
    dialogtest::ScriptNextDialog([](HWND hDlg) {
        dialogtest::Click(hDlg, IDC_READ);
        EndDialog(hDlg, 5);
    });
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN), nullptr, TestProc, 0), 5);
    EXPECT_EQ(commandIds(), std::vector<int>{IDC_READ});
    // A script that leaves the dialog open has it ended with its code.
    dialogtest::ScriptNextDialog([](HWND) {}, 9);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN), nullptr, TestProc, 0), 9);
}

TEST(SystemMenu, RightClickOnTheBackgroundOffersMinimizeCloseAndTheAddedItems) {
    reset();
    std::vector<std::string> offered;
    dialogtest::SetMenuResponder([&](const std::vector<std::string>& items) {
        offered = items;
        return std::string("Shortwave Bands");
    });
    run([](HWND hDlg) {
        HMENU menu = GetSystemMenu(hDlg, FALSE);
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, IDC_AMATEUR, "Amateur Bands");
        AppendMenuA(menu, MF_STRING, IDC_SWL, "Shortwave Bands");
        EXPECT_EQ(CheckMenuItem(menu, IDC_AMATEUR, MF_BYCOMMAND | MF_CHECKED), MF_UNCHECKED);
        EXPECT_EQ(CheckMenuItem(menu, 999, MF_BYCOMMAND | MF_CHECKED), 0xFFFFFFFFu);
        dialogtest::RightClick(hDlg, 200, 545); // below the Direct group
    });
    EXPECT_EQ(offered, (std::vector<std::string>{"Minimize", "Close", "", "*Amateur Bands",
                                                 "Shortwave Bands"}));
    const auto commands = receivedOf(WM_SYSCOMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].id, IDC_SWL);
}

TEST(SystemMenu, AltSpaceOpensItAndCloseSendsWmClose) {
    reset();
    dialogtest::SetMenuResponder([](const std::vector<std::string>&) { return "Close"; });
    run([](HWND hDlg) {
        GetSystemMenu(hDlg, FALSE);
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::PressKey(hDlg, Key::AltSpace);
    });
    ASSERT_EQ(receivedOf(WM_SYSCOMMAND).size(), 1u);
    EXPECT_EQ(receivedOf(WM_SYSCOMMAND)[0].id, static_cast<int>(SC_CLOSE));
    EXPECT_EQ(receivedOf(WM_CLOSE).size(), 1u);
}

TEST(SystemMenu, EveryDialogHasMinimizeAndCloseAndRevertDropsTheAddedItems) {
    reset();
    std::vector<std::vector<std::string>> offered;
    dialogtest::SetMenuResponder([&](const std::vector<std::string>& items) {
        offered.push_back(items);
        return std::string();
    });
    run([](HWND hDlg) {
        dialogtest::RightClick(hDlg, 200, 545);
        AppendMenuA(GetSystemMenu(hDlg, FALSE), MF_STRING, IDC_ABOUT, "About");
        dialogtest::RightClick(hDlg, 200, 545);
        EXPECT_EQ(GetSystemMenu(hDlg, TRUE), nullptr);
        dialogtest::RightClick(hDlg, 200, 545);
    });
    const std::vector<std::string> standard{"Minimize", "Close"};
    ASSERT_EQ(offered.size(), 3u);
    EXPECT_EQ(offered[0], standard);
    EXPECT_EQ(offered[1], (std::vector<std::string>{"Minimize", "Close", "About"}));
    EXPECT_EQ(offered[2], standard);
    EXPECT_TRUE(receivedOf(WM_SYSCOMMAND).empty()); // closed without a choice
}

TEST(SystemMenu, RightClickOnAButtonOpensNoMenu) {
    reset();
    int menus = 0;
    dialogtest::SetMenuResponder([&](const std::vector<std::string>&) {
        ++menus;
        return std::string();
    });
    run([](HWND hDlg) {
        const auto r = dialogtest::Geometry(hDlg, IDC_READ);
        dialogtest::RightClick(hDlg, r.x + r.width / 2, r.y + r.height / 2);
        const auto g = dialogtest::Geometry(hDlg, IDC_GB_MEMORY); // a group box's frame
        dialogtest::RightClick(hDlg, g.x + 4, g.y + g.height - 4);
    });
    EXPECT_EQ(menus, 1);
    EXPECT_TRUE(receivedOf(WM_SYSCOMMAND).empty());
}

} // namespace
