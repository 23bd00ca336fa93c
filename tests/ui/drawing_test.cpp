// Fonts, icons and what the dialog looks like on a screenshot.
#include "test_dialog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {

using namespace uitest;

HFONT tahoma(int height) {
    return CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
}

void setFonts(HWND hDlg) {
    SendDlgItemMessageA(hDlg, IDC_FREQ, WM_SETFONT, reinterpret_cast<WPARAM>(tahoma(48)), TRUE);
    HFONT small = tahoma(24);
    for (int id : {IDC_MEMORY, IDC_SPEED, IDC_DIRECT}) {
        SendDlgItemMessageA(hDlg, id, WM_SETFONT, reinterpret_cast<WPARAM>(small), TRUE);
    }
}

// The text's pixels lie inside the field's border, with the whole text
// drawn (its inked width is about the text's advance, not cut short).
void expectFits(HWND hDlg, int id, const char* text, COLORREF ink) {
    SetDlgItemTextA(hDlg, id, text);
    const auto field = dialogtest::Geometry(hDlg, id);
    const auto inked = dialogtest::InkBounds(hDlg, id, ink);
    ASSERT_GT(inked.width, 0) << text;
    EXPECT_GE(inked.x, 2) << text;
    EXPECT_GE(inked.y, 1) << text;
    EXPECT_LE(inked.x + inked.width, field.width - 2) << text;
    EXPECT_LE(inked.y + inked.height, field.height - 1) << text;
    EXPECT_GE(inked.width, dialogtest::TextWidth(hDlg, id, text) - 6) << text;
}

TEST(Fonts, HeightIsTheCellHeightAndTheFontIsBold) {
    reset();
    run([](HWND hDlg) {
        setFonts(hDlg);
        const auto large = dialogtest::Font(hDlg, IDC_FREQ);
        EXPECT_LE(large.pixelHeight, 48);
        EXPECT_GE(large.pixelHeight, 44);
        EXPECT_TRUE(large.bold);
        const auto small = dialogtest::Font(hDlg, IDC_DIRECT);
        EXPECT_LE(small.pixelHeight, 24);
        EXPECT_GE(small.pixelHeight, 21);
        EXPECT_TRUE(small.bold);
        // Unknown handles change nothing.
        SendDlgItemMessageA(hDlg, IDC_SPEED, WM_SETFONT, 12345, TRUE);
        EXPECT_EQ(dialogtest::Font(hDlg, IDC_SPEED).pixelHeight, small.pixelHeight);
    });
}

TEST(Fonts, TheWidestNumbersFitInsideTheirFields) {
    reset();
    run([](HWND hDlg) {
        setFonts(hDlg);
        expectFits(hDlg, IDC_FREQ, "29.999.999", RGB(180, 255, 0));
        expectFits(hDlg, IDC_FREQ, "15.000.000", RGB(180, 255, 0));
        expectFits(hDlg, IDC_FREQ, "88.888.888", RGB(180, 255, 0));
        expectFits(hDlg, IDC_MEMORY, "128", RGB(0, 0, 0));
        expectFits(hDlg, IDC_SPEED, "100000", RGB(0, 0, 0));
    });
}

TEST(Icons, ArtworkIs128SquareWithTransparentCornersAndItsColours) {
    reset();
    for (int id : {IDI_VELKOR, IDI_EXIT, IDI_RESTART}) {
        HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(id));
        ASSERT_NE(icon, nullptr) << id;
        EXPECT_EQ(icon, LoadIconA(nullptr, MAKEINTRESOURCEA(id))); // one icon per id
        EXPECT_EQ(dialogtest::IconSize(icon), 128);
        EXPECT_EQ(dialogtest::IconPixel(icon, 0, 0) >> 24, 0u) << id;     // corner
        EXPECT_EQ(dialogtest::IconPixel(icon, 127, 127) >> 24, 0u) << id; // corner
        EXPECT_EQ(dialogtest::IconPixel(icon, 64, 6) >> 24, 255u) << id;  // square
    }
    auto rgb = [](DWORD pixel) { return pixel & 0xFFFFFF; };
    auto red = [](DWORD p) { return static_cast<int>(p & 0xFF); };
    auto green = [](DWORD p) { return static_cast<int>((p >> 8) & 0xFF); };
    HICON exitIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_EXIT));
    HICON restartIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_RESTART));
    // Red ground, white stroke of the power symbol through the middle top.
    EXPECT_GT(red(dialogtest::IconPixel(exitIcon, 12, 64)), 150);
    EXPECT_LT(green(dialogtest::IconPixel(exitIcon, 12, 64)), 90);
    EXPECT_EQ(rgb(dialogtest::IconPixel(exitIcon, 64, 40)), RGB(255, 255, 255));
    // Green ground, a white dash at twelve o'clock, ground between dashes.
    EXPECT_GT(green(dialogtest::IconPixel(restartIcon, 12, 64)), 110);
    EXPECT_LT(red(dialogtest::IconPixel(restartIcon, 12, 64)), 90);
    EXPECT_EQ(rgb(dialogtest::IconPixel(restartIcon, 64, 28)), RGB(255, 255, 255));
    EXPECT_NE(rgb(dialogtest::IconPixel(restartIcon, 73, 29)), RGB(255, 255, 255));
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(4242)), nullptr);
}

TEST(Icons, WindowIconAndButtonPictures) {
    reset();
    run([](HWND hDlg) {
        const auto icon = [](int id) {
            return reinterpret_cast<LPARAM>(LoadIconA(nullptr, MAKEINTRESOURCEA(id)));
        };
        EXPECT_FALSE(dialogtest::ShowsPicture(hDlg, IDOK));
        EXPECT_EQ(dialogtest::Text(hDlg, IDOK), "Exit"); // the caption until a picture comes
        SendMessageA(hDlg, WM_SETICON, ICON_SMALL, icon(IDI_VELKOR));
        EXPECT_EQ(SendMessageA(hDlg, WM_SETICON, ICON_BIG, icon(IDI_VELKOR)), 0);
        EXPECT_TRUE(dialogtest::HasWindowIcon(hDlg));
        EXPECT_EQ(SendMessageA(GetDlgItem(hDlg, IDOK), BM_SETIMAGE, IMAGE_ICON, icon(IDI_EXIT)), 0);
        EXPECT_TRUE(dialogtest::ShowsPicture(hDlg, IDOK));
        EXPECT_EQ(dialogtest::Text(hDlg, IDOK), "");
        std::array<char, 8> caption{};
        GetDlgItemTextA(hDlg, IDOK, caption.data(), 8);
        EXPECT_STREQ(caption.data(), "Exit");
        // The picture button still sends its command.
        dialogtest::Click(hDlg, IDOK);
        ASSERT_EQ(receivedOf(WM_COMMAND).size(), 1u);
        EXPECT_EQ(receivedOf(WM_COMMAND)[0].id, IDOK);
    });
}

TEST(Screenshot, WritesAPngOfTheDialog) {
    reset();
    const auto path = std::filesystem::temp_directory_path() / "velkor-ui-test.png";
    std::filesystem::remove(path);
    run([&](HWND hDlg) {
        setFonts(hDlg);
        SetDlgItemTextA(hDlg, IDC_FREQ, "29.999.999");
        EXPECT_TRUE(dialogtest::Screenshot(hDlg, path.string()));
    });
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_GT(std::filesystem::file_size(path), 1000u);
    std::filesystem::remove(path);
}

// A field that takes only digits, in a small dialog of its own.
constexpr DLGITEM numberItems[] = {
    {10, DlgItemKind::EditText, "", 10, 10, 60, 14, DIS_NUMBER | DIS_BORDER | DIS_TABSTOP},
    {IDOK, DlgItemKind::DefPushButton, "OK", 10, 30, 50, 14, DIS_TABSTOP},
};
constexpr DLGTEMPLATEDATA numberDialog{"Numbers",      10, 10,          100, 60,
                                       "MS Shell Dlg", 8,  numberItems, 2};

TEST(Keys, DigitsOnlyFieldsRefuseOtherCharacters) {
    reset();
    ASSERT_TRUE(RegisterDialogTemplate(900, &numberDialog));
    const INT_PTR code = dialogtest::RunDialog(900, TestProc, [](HWND hDlg) {
        dialogtest::FocusControl(hDlg, 10);
        dialogtest::TypeText(hDlg, "7a.1-2");
        EXPECT_EQ(dialogtest::Text(hDlg, 10), "712");
        SetDlgItemTextA(hDlg, 10, "1.5"); // the program may still write anything
        EXPECT_EQ(dialogtest::Text(hDlg, 10), "1.5");
        dialogtest::PressKey(hDlg, dialogtest::Key::Enter);
        EXPECT_EQ(receivedOf(WM_COMMAND).back().id, IDOK);
        EndDialog(hDlg, 3);
    });
    EXPECT_EQ(code, 3);
    EXPECT_EQ(RegisterDialogTemplate(901, nullptr), FALSE);
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(4242), nullptr, TestProc, 0), -1);
}

TEST(SystemMenu, MinimizeLeftToTheDialogManagerMinimizes) {
    reset();
    dialogtest::SetMenuResponder([](const std::vector<std::string>&) { return "Minimize"; });
    run([](HWND hDlg) {
        GetSystemMenu(hDlg, FALSE);
        dialogtest::RightClick(hDlg, 395, 5);
        ASSERT_EQ(receivedOf(WM_SYSCOMMAND).size(), 1u);
        EXPECT_EQ(receivedOf(WM_SYSCOMMAND)[0].id, static_cast<int>(SC_MINIMIZE));
        EXPECT_TRUE(receivedOf(WM_CLOSE).empty());
    });
}

} // namespace
