// The panel for a listener who cannot see it: every control named, the
// readings spoken, and the shortcut keys tuning and switching exactly as
// the controls they stand for.
#include "panel_harness.h"

#include "app/dialogtemplate.h"
#include "app/panelaccess.h"
#include "app/resource.h"
#include "app/speed.h"
#include "app/velkor.h"
#include "link/execthread.h"
#include "protocol/comexecute.h"
#include "support/dialog_driver.h"

#include "platform/dialog_qt.h"
#include "platform/portchooser.h"
#include "scan/scope.h"

#include <QAccessible>
#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

void shortcut(WORD virtualKey) {
    dialogtest::PressCtrlKey(hDlgHandle, virtualKey);
}

void reportState(HWND hDlg) {
    PostMessageA(hDlg, IDUPDATE, RADIO, 0);
    pump();
}

TEST(PanelAccess, EveryControlThatTakesTheKeyboardOrAClickHasAName) {
    runPanel([](HWND hDlg) {
        for (const DLGITEM& item : VelkorDialogItems()) {
            if (item.kind == DlgItemKind::GroupBox || item.kind == DlgItemKind::UpDown) {
                continue; // named by their captions; the spinner's arrows below
            }
            EXPECT_FALSE(dialogtest::AccessibleName(hDlg, item.id).empty()) << item.id;
        }
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDC_FREQ), "Frequency");
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDC_SUNIT), "S-meter");
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDC_SPEED), "Tuning step");
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDC_MEMORY), "Memory channel");
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDOK), "Exit"); // a picture on screen
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDC_40M), "40 metre band");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_60M), "Tune to 5.3305 megahertz");
        EXPECT_EQ(dialogtest::AccessibleName(hDlg, IDC_BUTTONPOINT), "Point");
        EXPECT_EQ(dialogtest::SpinnerArrowNames(hDlg, IDC_SPINSPEED),
                  (std::vector<std::string>{"Tuning step up", "Tuning step down"}));
        // Tooltips show the shortcut keys.
        EXPECT_EQ(dialogtest::ToolTip(hDlg, IDC_LOCK), "Lock the receiver's front panel (Ctrl+L)");
        EXPECT_EQ(dialogtest::ToolTip(hDlg, IDC_SPINFREQ),
                  "Tune one step up or down (Ctrl+Up, Ctrl+Down)");
        EXPECT_EQ(dialogtest::ToolTip(hDlg, IDC_20M),
                  "Tune to 14 megahertz (Ctrl+Page Up, Ctrl+Page Down)");
        EXPECT_EQ(dialogtest::ToolTip(hDlg, IDC_RESTART), "Restart the receiver");
        EXPECT_EQ(dialogtest::ToolTip(hDlg, IDC_FREQ), "The receiver's frequency (Ctrl+F)");
    });
}

TEST(PanelAccess, ReadingsAreSpokenAsTheyAreShown) {
    runPanel([](HWND hDlg) {
        // The start-up picture.
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_FREQ), "15 megahertz");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_SPEED), "2 500 hertz");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_MEMORY), "1");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_SUNIT), "S9 plus 6 dB");

        radio.ulFrequency = 7050000;
        radio.uSUnits = 5;
        radio.uSpeed = 100000;
        reportState(hDlg);
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_FREQ), "7.05 megahertz");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_SUNIT), "S5");
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_SPEED), "100 000 hertz");
        radio.uSUnits = 12;
        reportState(hDlg);
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_SUNIT), "S9 plus 18 dB");

        // The operator's own tuning and entries are spoken at once.
        typeInto(IDC_DIRECT, "14.2");
        click(IDC_SELFREQ);
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_FREQ), "14.2 megahertz");
        typeInto(IDC_DIRECT, "128");
        click(IDC_SELMEMORY);
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_MEMORY), "128");
        spin(IDC_SPINMEMORY, UP);
        EXPECT_EQ(dialogtest::AccessibleDescription(hDlg, IDC_MEMORY), "128");
        queued();
    });
}

TEST(PanelAccess, ShortcutsWorkTheControlsTheyStandFor) {
    runPanel([](HWND hDlg) {
        dialogtest::FocusControl(hDlg, IDC_DIRECT);
        shortcut('L');
        EXPECT_TRUE(checked(IDC_LOCK));
        shortcut('L');
        EXPECT_FALSE(checked(IDC_LOCK));
        EXPECT_THAT(queuedTexts(), ElementsAre("*AL\r", "*AU\r"));

        // Steps as the spinner's arrows: from 14001000 with 2500 Hz steps.
        typeInto(IDC_DIRECT, "14001000");
        click(IDC_SELFREQ);
        queued();
        shortcut(VK_UP);
        shortcut(VK_DOWN);
        shortcut(VK_DOWN);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF14002500\r", "*AF14000000\r", "*AF13997500\r"));

        // Modes in turn from AM, each a click on its button.
        shortcut('M');
        EXPECT_TRUE(checked(IDC_CW));
        shortcut('M');
        shortcut('M');
        EXPECT_TRUE(checked(IDC_AM));
        EXPECT_THAT(queuedTexts(), ElementsAre("*RMM2\r", "*RMM0\r", "*RMM4\r"));

        // The readings on request: the keyboard goes to them.
        shortcut('F');
        EXPECT_EQ(focusedId(), IDC_FREQ);
        shortcut('S');
        EXPECT_EQ(focusedId(), IDC_SUNIT);
        shortcut('D');
        EXPECT_EQ(focusedId(), IDC_DIRECT);
        // Reserved for the band scope: nothing here.
        shortcut('B');
        EXPECT_THAT(queuedTexts(), IsEmpty());
    });
}

TEST(PanelAccess, BandKeysTuneToTheNextBandOfTheShownSet) {
    runPanel([](HWND hDlg) {
        // From 15 MHz down: 20m, then out of 20m to 30m, then 40m.
        shortcut(VK_NEXT);
        shortcut(VK_NEXT);
        shortcut(VK_NEXT);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF14000000\r", "*AF10100000\r", "*AF7000000\r"));
        EXPECT_TRUE(checked(IDC_40M));
        shortcut(VK_PRIOR);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF10100000\r"));
        // The top and the bottom band stay.
        click(IDC_10M);
        queued();
        shortcut(VK_PRIOR);
        click(IDC_160M);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF1800000\r"));
        shortcut(VK_NEXT);
        EXPECT_THAT(queuedTexts(), IsEmpty());

        // The shortwave set, from 9.5 MHz in the 31m band.
        systemMenu(IDC_SWL);
        typeInto(IDC_DIRECT, "9500000");
        click(IDC_SELFREQ);
        queued();
        shortcut(VK_PRIOR);
        typeInto(IDC_DIRECT, "9500000");
        click(IDC_SELFREQ);
        shortcut(VK_NEXT);
        EXPECT_THAT(queuedTexts(), ElementsAre("*AF11600000\r", "*AF9500000\r", "*AF7200000\r"));
        (void)hDlg;
    });
}

TEST(PanelAccess, NextBandBetweenTheEdges) {
    // The 60m channels: from one channel up leaves the band, down from
    // inside it goes to 80m.
    EXPECT_EQ(nextBand(5366500, FALSE, true), IDC_40M);
    EXPECT_EQ(nextBand(5366500, FALSE, false), IDC_80M);
    EXPECT_EQ(nextBand(5330500, FALSE, false), IDC_80M);
    // Between bands: the neighbours.
    EXPECT_EQ(nextBand(12000000, FALSE, true), IDC_20M);
    EXPECT_EQ(nextBand(12000000, FALSE, false), IDC_30M);
    EXPECT_EQ(nextBand(100000, FALSE, false), 0);
    EXPECT_EQ(nextBand(30000000, FALSE, true), 0);
    EXPECT_EQ(nextBand(30000000, TRUE, false), IDC_11M);
    EXPECT_EQ(nextBand(2300000, TRUE, false), 0);
}

// The band scope's picture is an image to a screen reader, with a text
// alternative; it draws on its own dark background, or on the palette's
// when the desktop asks for high contrast.
TEST(PanelAccess, BandScopePictureIsAnImageInTheDesktopsHighContrastColours) {
    const auto pictureCorner = [](HWND hDlg, std::string* pRole) {
        systemMenu(IDC_BANDSCOPE);
        QWidget* picture = nullptr;
        for (QWidget* w : DialogWidget(hDlg)->findChildren<QWidget*>()) {
            if (w->accessibleName() == "Band scope picture") {
                picture = w;
            }
        }
        if (picture == nullptr) {
            return QColor();
        }
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(picture);
        *pRole = iface->role() == QAccessible::Graphic ? "image" : "other";
        EXPECT_FALSE(iface->text(QAccessible::Description).isEmpty());
        const QColor corner = picture->grab().toImage().pixelColor(1, 1);
        scopeClose();
        return corner;
    };
    std::string szRole;
    runPanel([&](HWND hDlg) { EXPECT_EQ(pictureCorner(hDlg, &szRole), QColor(Qt::black)); });
    EXPECT_EQ(szRole, "image");

    const QPalette before = QApplication::palette();
    QPalette contrast = before;
    contrast.setColor(QPalette::Window, Qt::white);
    contrast.setColor(QPalette::WindowText, Qt::black);
    contrast.setColor(QPalette::Base, Qt::white);
    contrast.setColor(QPalette::Text, Qt::black);
    QApplication::setPalette(contrast);
    runPanel([&](HWND hDlg) { EXPECT_EQ(pictureCorner(hDlg, &szRole), QColor(Qt::white)); });
    QApplication::setPalette(before);
}

// The port chooser names its list and its field, and the keyboard is
// back where it was once it closes; so after a message box.
TEST(PanelAccess, PortChooserAndBoxesNameTheirControlsAndGiveTheFocusBack) {
    runPanel([](HWND hDlg) {
        dialogtest::FocusControl(hDlg, IDC_SPEED);
        std::string szList;
        std::string szField;
        whenPortChooserOpens([&](QDialog& chooser) {
            const auto name = [](QObject* o) {
                return QAccessible::queryAccessibleInterface(o)
                    ->text(QAccessible::Name)
                    .toStdString();
            };
            szList = name(chooser.findChild<QListWidget*>("ports"));
            szField = name(chooser.findChild<QLineEdit*>("name"));
            chooser.reject();
        });
        std::string szChosen;
        EXPECT_FALSE(ChoosePortDialog(hDlg, {}, "COM1", &szChosen));
        EXPECT_EQ(szList, "Serial ports present");
        EXPECT_EQ(szField, "Port name");
        EXPECT_EQ(focusedId(), IDC_SPEED);

        systemMenu(IDC_ABOUT); // answered OK at once
        EXPECT_EQ(focusedId(), IDC_SPEED);
    });
}

} // namespace
