// Field texts and numbers, dialog-unit rounding.
#include "test_dialog.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using namespace uitest;

TEST(CommonControls, InitialisationSucceeds) {
    const INITCOMMONCONTROLSEX all{sizeof(INITCOMMONCONTROLSEX), 0xFFFFFFFF};
    EXPECT_EQ(InitCommonControlsEx(&all), TRUE);
}

TEST(MulDiv, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(181, 6, 4), 272); // 271.5
    EXPECT_EQ(MulDiv(68, 13, 8), 111); // 110.5
    EXPECT_EQ(MulDiv(340, 13, 8), 553);
    EXPECT_EQ(MulDiv(-181, 6, 4), -272);
    EXPECT_EQ(MulDiv(181, -6, 4), -272);
    EXPECT_EQ(MulDiv(7, 1, 3), 2);
    EXPECT_EQ(MulDiv(8, 1, 3), 3);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(2000000000, 2, 1), -1); // does not fit
    EXPECT_EQ(MulDiv(2000000000, 3, 3), 2000000000);
}

struct IntCase {
    const char* text;
    BOOL bSigned;
    BOOL translated;
    UINT value;
};

TEST(DlgItemInt, ReadsDecimalNumbersAndRefusesEverythingElse) {
    reset();
    run([](HWND hDlg) {
        const std::array cases{
            IntCase{"128", FALSE, TRUE, 128},
            IntCase{"   42", FALSE, TRUE, 42},
            IntCase{"0", FALSE, TRUE, 0},
            IntCase{"4294967295", FALSE, TRUE, 4294967295u},
            IntCase{"4294967296", FALSE, FALSE, 0},
            IntCase{"99999999999999999999", FALSE, FALSE, 0},
            IntCase{"", FALSE, FALSE, 0},
            IntCase{"   ", FALSE, FALSE, 0},
            IntCase{"5.0", FALSE, FALSE, 0},
            IntCase{"12a", FALSE, FALSE, 0},
            IntCase{"-5", FALSE, FALSE, 0},
            IntCase{"-5", TRUE, TRUE, static_cast<UINT>(-5)},
            IntCase{"2147483647", TRUE, TRUE, 2147483647u},
            IntCase{"2147483648", TRUE, FALSE, 0},
            IntCase{"-2147483648", TRUE, TRUE, 0x80000000u},
            IntCase{"-2147483649", TRUE, FALSE, 0},
            IntCase{"-", TRUE, FALSE, 0},
            IntCase{"+5", FALSE, FALSE, 0},
        };
        for (const IntCase& c : cases) {
            SetDlgItemTextA(hDlg, IDC_DIRECT, c.text);
            BOOL translated = 2;
            const UINT value = GetDlgItemInt(hDlg, IDC_DIRECT, &translated, c.bSigned);
            EXPECT_EQ(translated, c.translated) << '"' << c.text << '"';
            EXPECT_EQ(value, c.value) << '"' << c.text << '"';
        }
        // Without a place for the flag, and for a control that is not there.
        SetDlgItemTextA(hDlg, IDC_DIRECT, "77");
        EXPECT_EQ(GetDlgItemInt(hDlg, IDC_DIRECT, nullptr, FALSE), 77u);
        BOOL translated = TRUE;
        EXPECT_EQ(GetDlgItemInt(hDlg, 4242, &translated, FALSE), 0u);
        EXPECT_EQ(translated, FALSE);
    });
}

TEST(DlgItemText, ReadsBackWhatWasWrittenWithinTheBuffer) {
    reset();
    run([](HWND hDlg) {
        std::array<char, 16> buffer{};
        SetDlgItemTextA(hDlg, IDC_FREQ, " 7.000.000");
        EXPECT_EQ(GetDlgItemTextA(hDlg, IDC_FREQ, buffer.data(), 16), 10u);
        EXPECT_STREQ(buffer.data(), " 7.000.000");
        EXPECT_EQ(GetDlgItemTextA(hDlg, IDC_FREQ, buffer.data(), 5), 4u); // cut, terminated
        EXPECT_STREQ(buffer.data(), " 7.0");
        SetDlgItemTextA(hDlg, IDC_DIRECT, nullptr);
        EXPECT_EQ(GetDlgItemTextA(hDlg, IDC_DIRECT, buffer.data(), 16), 0u);
        EXPECT_STREQ(buffer.data(), "");
        // Captions of buttons and group boxes.
        SetDlgItemTextA(hDlg, IDC_GB_BANDS, "Shortwave Bands");
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_GB_BANDS), "Shortwave Bands");
        EXPECT_EQ(GetDlgItemTextA(hDlg, IDC_READ, buffer.data(), 16), 5u);
        EXPECT_STREQ(buffer.data(), "&Read");
        EXPECT_EQ(GetDlgItemTextA(hDlg, 4242, buffer.data(), 16), 0u);
        // A typed text is what the field reads back.
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        dialogtest::TypeText(hDlg, "7100000");
        EXPECT_EQ(GetDlgItemTextA(hDlg, IDC_DIRECT, buffer.data(), 15), 7u);
        EXPECT_STREQ(buffer.data(), "7100000");
    });
}

TEST(Progress, PositionIsSetAndKeptWithinTheRange) {
    reset();
    run([](HWND hDlg) {
        EXPECT_EQ(SendDlgItemMessageA(hDlg, IDC_SUNIT, PBM_SETPOS, 50, 0), 0);
        EXPECT_EQ(dialogtest::ProgressPosition(hDlg, IDC_SUNIT), 50);
        EXPECT_EQ(SendDlgItemMessageA(hDlg, IDC_SUNIT, PBM_SETPOS, 100, 0), 50);
        SendDlgItemMessageA(hDlg, IDC_SUNIT, PBM_SETPOS, 250, 0);
        EXPECT_EQ(dialogtest::ProgressPosition(hDlg, IDC_SUNIT), 100);
    });
}

TEST(Focus, SetFocusMovesTheKeyboardFocusAndReturnsThePreviousOwner) {
    reset();
    run([](HWND hDlg) {
        SetFocus(GetDlgItem(hDlg, IDC_DIRECT));
        EXPECT_EQ(dialogtest::FocusId(hDlg), IDC_DIRECT);
        EXPECT_EQ(SetFocus(GetDlgItem(hDlg, IDC_READ)), GetDlgItem(hDlg, IDC_DIRECT));
        EXPECT_EQ(dialogtest::FocusId(hDlg), IDC_READ);
        EXPECT_EQ(HideCaret(nullptr), TRUE);
        EXPECT_EQ(GetDlgCtrlID(GetDlgItem(hDlg, IDC_READ)), IDC_READ);
        EXPECT_EQ(GetDlgItem(hDlg, 4242), nullptr);
    });
}

} // namespace
