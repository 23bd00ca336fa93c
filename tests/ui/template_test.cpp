// The panel's dialog as built from template 100: window, controls at their
// pixel rectangles, initial states and tab order.
#include "test_dialog.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace uitest;
using dialogtest::Rect;

// Dialog units to pixels for the fixed 6 x 13 base units, halves rounded
// up (all values here are positive).
int px(int dlu) {
    return (dlu * 6 + 2) / 4;
}
int py(int dlu) {
    return (dlu * 13 + 4) / 8;
}
Rect pixels(const DLGITEM& item) {
    return {px(item.x), py(item.y), px(item.cx), py(item.cy)};
}

const DLGITEM& itemOf(int id) {
    for (const DLGITEM& item : VelkorDialogItems()) {
        if (item.id == id) {
            return item;
        }
    }
    throw std::out_of_range("no such control");
}

TEST(Template, HoldsEveryControlOnceWithBandButtonsInBothSets) {
    std::set<int> ids;
    for (const DLGITEM& item : VelkorDialogItems()) {
        EXPECT_TRUE(ids.insert(item.id).second) << "id " << item.id << " twice";
    }
    EXPECT_EQ(ids.size(), 66u);
    for (int id = IDC_160M; id <= IDC_10M; ++id) {
        EXPECT_EQ(itemOf(id).kind, DlgItemKind::RadioButton);
        EXPECT_FALSE(itemOf(id).dwStyle & DIS_HIDDEN);
    }
    for (int id = IDC_120M; id <= IDC_11M; ++id) {
        EXPECT_EQ(itemOf(id).kind, DlgItemKind::RadioButton);
        EXPECT_TRUE(itemOf(id).dwStyle & DIS_HIDDEN);
        EXPECT_EQ(itemOf(id).cx, 30);
        EXPECT_EQ(itemOf(id).cy, 8);
    }
    EXPECT_EQ(itemOf(IDC_SELFREQ).kind, DlgItemKind::DefPushButton);
}

TEST(Template, WindowHasItsCaptionSizeAndPlace) {
    reset();
    run([](HWND hDlg) {
        EXPECT_EQ(dialogtest::WindowTitle(hDlg), "Velkor QX-4470 Control Program");
        EXPECT_EQ(dialogtest::ClientGeometry(hDlg), (Rect{272, 111, 402, 553}));
    });
}

TEST(Template, EveryControlSitsAtItsPixelRectangleSpinnersAtTheirFieldsRightEdge) {
    reset();
    run([](HWND hDlg) {
        const auto items = VelkorDialogItems();
        for (std::size_t i = 0; i < items.size(); ++i) {
            const DLGITEM& item = items[i];
            Rect expected = pixels(item);
            if (item.kind == DlgItemKind::UpDown) {
                const Rect field = pixels(items[i - 1]);
                expected = {field.x + field.width - expected.width, field.y, expected.width,
                            field.height};
            } else if (i + 1 < items.size() && items[i + 1].kind == DlgItemKind::UpDown) {
                expected.width -= px(items[i + 1].cx); // the field gives way to its spinner
            }
            EXPECT_EQ(dialogtest::Geometry(hDlg, item.id), expected) << "control " << item.id;
        }
        // Spot checks against hand-computed values.
        EXPECT_EQ(dialogtest::Geometry(hDlg, IDOK), (Rect{345, 16, 39, 37}));
        EXPECT_EQ(dialogtest::Geometry(hDlg, IDC_SPINFREQ), (Rect{277, 208, 17, 55}));
        EXPECT_EQ(dialogtest::Geometry(hDlg, IDC_FREQ), (Rect{30, 208, 247, 55}));
        EXPECT_EQ(dialogtest::Geometry(hDlg, IDC_11M), (Rect{189, 52, 45, 13}));
    });
}

TEST(Template, StartStatesCaptionsAndTabOrder) {
    reset();
    run([](HWND hDlg) {
        for (int id = IDC_120M; id <= IDC_11M; ++id) {
            EXPECT_FALSE(dialogtest::Visible(hDlg, id)) << id;
        }
        for (int id = IDC_160M; id <= IDC_10M; ++id) {
            EXPECT_TRUE(dialogtest::Visible(hDlg, id)) << id;
        }
        EXPECT_FALSE(dialogtest::Enabled(hDlg, IDC_AUDIO));
        EXPECT_TRUE(dialogtest::Enabled(hDlg, IDC_LOCK));
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_BUTTONPOINT), "\u00B7");
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_GB_BANDS), "Amateur Bands");
        EXPECT_EQ(dialogtest::Text(hDlg, IDC_SELFREQ), "&Frequency");
        EXPECT_FALSE(dialogtest::HasTabStop(hDlg, IDC_FREQ));
        EXPECT_EQ(dialogtest::ProgressPosition(hDlg, IDC_SUNIT), 0);

        // Tab stops in template order; the disabled Enable box is skipped.
        const std::vector<int> expected{IDOK,          IDC_RESTART, IDC_LOCK,        IDC_EXT,
                                        IDC_MEMORY,    IDC_READ,    IDC_WRITE,       IDC_SPEED,
                                        IDC_DIRECT,    IDC_BUTTON1, IDC_BUTTON2,     IDC_BUTTON3,
                                        IDC_BUTTON4,   IDC_BUTTON5, IDC_BUTTON6,     IDC_BUTTON7,
                                        IDC_BUTTON8,   IDC_BUTTON9, IDC_BUTTONPOINT, IDC_BUTTON0,
                                        IDC_BUTTONCLR, IDC_SELFREQ, IDC_SELMEMORY,   IDC_SELSPEED};
        EXPECT_EQ(dialogtest::TabOrder(hDlg), expected);
    });
}

} // namespace
