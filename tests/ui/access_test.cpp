// What assistive technology meets in the dialog: accessible actions that
// act as clicks, names, help and tooltips, spoken values, and the
// keyboard accelerators.
#include "test_dialog.h"

#include <gtest/gtest.h>

namespace {

using namespace uitest;

TEST(Accessibility, EveryActionOfAButtonIsTheClickItsCommandFollows) {
    reset();
    run([](HWND hDlg) {
        // A check box's toggle marks it and sends its command, as a click.
        EXPECT_EQ(dialogtest::AccessibleActions(hDlg, IDC_LOCK),
                  (std::vector<std::string>{"Toggle", "Press"}));
        dialogtest::DoAccessibleAction(hDlg, IDC_LOCK, "Toggle");
        ASSERT_EQ(receivedOf(WM_COMMAND).size(), 1u);
        EXPECT_EQ(receivedOf(WM_COMMAND)[0].id, IDC_LOCK);
        EXPECT_TRUE(receivedOf(WM_COMMAND)[0].markAtCommand);
        dialogtest::DoAccessibleAction(hDlg, IDC_LOCK, "Press");
        ASSERT_EQ(receivedOf(WM_COMMAND).size(), 2u);
        EXPECT_FALSE(receivedOf(WM_COMMAND)[1].markAtCommand);

        // A radio button's toggle sends its command and leaves its mark
        // to the program, as a click does.
        dialogtest::DoAccessibleAction(hDlg, IDC_CW, "Toggle");
        ASSERT_EQ(receivedOf(WM_COMMAND).size(), 3u);
        EXPECT_EQ(receivedOf(WM_COMMAND)[2].id, IDC_CW);
        EXPECT_FALSE(dialogtest::Checked(hDlg, IDC_CW));

        dialogtest::DoAccessibleAction(hDlg, IDC_READ, "Press");
        EXPECT_EQ(receivedOf(WM_COMMAND).back().id, IDC_READ);

        // The disabled Enable box offers nothing and sends nothing.
        EXPECT_TRUE(dialogtest::AccessibleActions(hDlg, IDC_AUDIO).empty());
        dialogtest::DoAccessibleAction(hDlg, IDC_AUDIO, "Toggle");
        EXPECT_EQ(receivedOf(WM_COMMAND).size(), 4u);
        EXPECT_FALSE(dialogtest::Checked(hDlg, IDC_AUDIO));

        // BM_CLICK is the same click.
        SendDlgItemMessageA(hDlg, IDC_LOCK, BM_CLICK, 0, 0);
        EXPECT_EQ(receivedOf(WM_COMMAND).back().id, IDC_LOCK);
        EXPECT_TRUE(receivedOf(WM_COMMAND).back().markAtCommand);
    });
}

TEST(Accessibility, NamesHelpShortcutsAndSpokenValuesReachTheControls) {
    reset();
    run([](HWND hDlg) {
        // Without a name of its own a button is named by its caption
        // without the access mark, a picture button by its tooltip.
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDC_SELFREQ), "Frequency");
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDOK), "Exit");

        HWND hLock = GetDlgItem(hDlg, IDC_LOCK);
        EXPECT_TRUE(SetAccPropStr(hLock, PROPID_ACC_NAME, "Lock the panel"));
        EXPECT_TRUE(SetAccPropStr(hLock, PROPID_ACC_HELP, "Locks it"));
        EXPECT_TRUE(SetAccPropStr(hLock, PROPID_ACC_KEYBOARDSHORTCUT, "Ctrl+L"));
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDC_LOCK), "Lock the panel");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_LOCK), "Locks it");
        EXPECT_EQ(dialogtest::ToolTip(hDlg, IDC_LOCK), "Locks it (Ctrl+L)");

        // A spinner names its arrows after itself.
        SetAccPropStr(GetDlgItem(hDlg, IDC_SPINFREQ), PROPID_ACC_NAME, "Frequency");
        EXPECT_EQ(dialogtest::SpinnerArrowNames(hDlg, IDC_SPINFREQ),
                  (std::vector<std::string>{"Frequency up", "Frequency down"}));

        // A reading's spoken value is its description; its help stays in
        // the tooltip.
        HWND hMeter = GetDlgItem(hDlg, IDC_SUNIT);
        SetAccPropStr(hMeter, PROPID_ACC_NAME, "S-meter");
        SetAccPropStr(hMeter, PROPID_ACC_HELP, "Signal strength");
        SetAccPropStr(hMeter, PROPID_ACC_VALUE, "S5");
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hMeter, OBJID_CLIENT, CHILDID_SELF);
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDC_SUNIT), "S-meter");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_SUNIT), "S5");
        EXPECT_EQ(dialogtest::ToolTip(hDlg, IDC_SUNIT), "Signal strength");
        SetAccPropStr(GetDlgItem(hDlg, IDC_FREQ), PROPID_ACC_VALUE, "7.05 megahertz");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_FREQ), "7.05 megahertz");

        EXPECT_FALSE(SetAccPropStr(nullptr, PROPID_ACC_NAME, "nothing"));
    });
}

TEST(Accessibility, AcceleratorsSendTheirCommandFromWhicheverControlHasTheFocus) {
    reset();
    run([](HWND hDlg) {
        const std::array<ACCEL, 2> table{
            {{FVIRTKEY | FCONTROL, 'L', 300}, {FVIRTKEY | FCONTROL, VK_NEXT, 301}}};
        EXPECT_TRUE(SetDialogAccelerators(hDlg, table.data(), static_cast<int>(table.size())));
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::PressCtrlKey(hDlg, 'L');
        dialogtest::FocusControl(hDlg, IDC_MEMORY);
        dialogtest::PressCtrlKey(hDlg, VK_NEXT);
        const auto commands = receivedOf(WM_COMMAND);
        ASSERT_EQ(commands.size(), 2u);
        EXPECT_EQ(commands[0].id, 300);
        EXPECT_EQ(HIWORD(commands[0].wParam), ACCEL_NOTIFICATION);
        EXPECT_EQ(commands[1].id, 301);
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_DIRECT), ""); // the field never saw the key

        // Other modifiers, and the numeric keypad, which screen readers
        // use, match nothing.
        dialogtest::PressCtrlKey(hDlg, 'L', true);
        dialogtest::PressCtrlKey(hDlg, VK_NEXT, false, true);
        EXPECT_EQ(receivedOf(WM_COMMAND).size(), 2u);
        // Access keys keep working beside them.
        dialogtest::PressAccessKey(hDlg, 'r');
        EXPECT_EQ(receivedOf(WM_COMMAND).back().id, IDC_READ);

        EXPECT_FALSE(SetDialogAccelerators(hDlg, nullptr, 1));
        EXPECT_TRUE(SetDialogAccelerators(hDlg, nullptr, 0));
        dialogtest::PressCtrlKey(hDlg, 'L');
        EXPECT_EQ(receivedOf(WM_COMMAND).size(), 3u);
    });
}

} // namespace
