// Test driver for the dialog: real mouse and key events through the
// window system interface, read-back through the widgets. It plugs into
// the dialog layer as its observer (platform/dialog_observer.h).
#include "support/dialog_driver.h"

#include "platform/dialog_internal.h"
#include "platform/dialog_observer.h"
#include "platform/levelbar.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace dialogtest {
namespace {

using namespace dialog_internal;

struct Responders {
    std::function<int(const MessageBoxSeen&)> messageBox;
    std::vector<MessageBoxSeen> seen;
    std::function<std::string(const std::vector<std::string>&)> menu;
    // The script for the next dialog shown, and the end code if it leaves
    // the dialog open.
    std::function<void(HWND)> nextDialog;
    INT_PTR codeIfOpen = -2;
    int beeps = 0;
    UINT lastBeep = 0;
    int flashes = 0;
};
Responders& responders() {
    static Responders all;
    return all;
}

// Asks the responder again every 10 ms until it answers, then presses the
// box's button.
void answerMessageBox(QPointer<QMessageBox> box, MessageBoxSeen seen) {
    if (!box) {
        return;
    }
    const int answer = responders().messageBox ? responders().messageBox(seen) : IDOK;
    if (answer == 0) {
        QTimer::singleShot(10, box, [box, seen] { answerMessageBox(box, seen); });
        return;
    }
    QAbstractButton* button =
        box->button(answer == IDCANCEL ? QMessageBox::Cancel : QMessageBox::Ok);
    if (!button) {
        button = box->button(QMessageBox::Ok);
    }
    QTest::mouseClick(button, Qt::LeftButton);
}

void answerMenu(QMenu& menu) {
    std::vector<std::string> texts;
    for (QAction* action : menu.actions()) {
        std::string text = action->isSeparator() ? "" : action->text().toStdString();
        if (action->isChecked()) {
            text = "*" + text;
        }
        texts.push_back(text);
    }
    const std::string choice = responders().menu ? responders().menu(texts) : std::string();
    for (QAction* action : menu.actions()) {
        if (!choice.empty() && !action->isSeparator() && action->text().toStdString() == choice) {
            menu.setActiveAction(action);
            QTest::keyClick(&menu, Qt::Key_Return);
            return;
        }
    }
    menu.close();
}

void runScript(HWND hDlg, const std::function<void(HWND)>& script, INT_PTR codeIfOpen) {
    DialogHandle* d = dialogOf(hDlg);
    if (!QTest::qWaitForWindowExposed(d->window.get(), 2000)) {
        std::fprintf(stderr, "dialogtest: the dialog was never exposed\n");
    }
    d->window->activateWindow();
    (void)QTest::qWaitForWindowActive(d->window.get(), 1000); // offscreen: may never be
    script(hDlg);
    if (!d->ended) {
        EndDialog(hDlg, codeIfOpen);
    }
}

class Driver final : public DialogObserver {
  public:
    ~Driver() override { SetDialogObserver(nullptr); }
    void dialogShown(HWND hDlg) override {
        // Once: a dialog the script opens runs unscripted.
        auto script = std::exchange(responders().nextDialog, nullptr);
        if (script) {
            runScript(hDlg, script, responders().codeIfOpen);
        }
    }
    void messageBoxShown(QMessageBox& box, const MessageBoxRecord& record) override {
        MessageBoxSeen seen{record.caption, record.text, record.icon, record.buttons};
        responders().seen.push_back(seen);
        answerMessageBox(QPointer<QMessageBox>(&box), seen);
    }
    void menuShown(QMenu& menu) override { answerMenu(menu); }
    void beeped(UINT uType) override {
        ++responders().beeps;
        responders().lastBeep = uType;
    }
    void flashed(HWND) override { ++responders().flashes; }
};

void installResponders() {
    // Tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ensureApplication();
    static Driver driver;
    SetDialogObserver(&driver);
}

ControlHandle& control(HWND hDlg, int id) {
    auto* c = controlOf(GetDlgItem(hDlg, id));
    if (!c) {
        std::fprintf(stderr, "dialogtest: no control %d\n", id);
        std::abort();
    }
    return *c;
}

QWindow* windowOf(HWND hDlg) {
    DialogHandle* d = dialogOf(hDlg);
    return d ? d->window->windowHandle() : nullptr;
}

QPoint inWindow(const QWidget& w, QPoint p) {
    return w.mapTo(w.window(), p);
}

Rect toRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

} // namespace

void ScriptNextDialog(std::function<void(HWND)> script, INT_PTR codeIfOpen) {
    installResponders();
    responders().nextDialog = std::move(script);
    responders().codeIfOpen = codeIfOpen;
}

INT_PTR RunDialog(int templateId, DLGPROC proc, const std::function<void(HWND)>& script,
                  INT_PTR codeIfOpen, LPARAM initParam) {
    ScriptNextDialog(script, codeIfOpen);
    const INT_PTR result =
        DialogBoxParamA(nullptr, MAKEINTRESOURCEA(templateId), nullptr, proc, initParam);
    responders().nextDialog = nullptr; // also when the dialog never appeared
    return result;
}

void ProcessEvents(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents();
    } while (timer.elapsed() < milliseconds);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMilliseconds) {
    QDeadlineTimer deadline(timeoutMilliseconds);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(1);
    }
    return true;
}

void Click(HWND hDlg, int id) {
    QWidget& w = *control(hDlg, id).w;
    QTest::mouseClick(windowOf(hDlg), Qt::LeftButton, Qt::NoModifier,
                      inWindow(w, w.rect().center()));
    ProcessEvents();
}

void ClickSpinner(HWND hDlg, int spinnerId, int delta) {
    QWidget& w = *control(hDlg, spinnerId).w;
    const QPoint point(w.width() / 2, delta < 0 ? w.height() / 4 : w.height() * 3 / 4);
    QTest::mouseClick(windowOf(hDlg), Qt::LeftButton, Qt::NoModifier, inWindow(w, point));
    ProcessEvents();
}

void RightClick(HWND hDlg, int x, int y) {
    QWindow* window = windowOf(hDlg);
    QTest::mousePress(window, Qt::RightButton, Qt::NoModifier, QPoint(x, y));
    QTest::mouseRelease(window, Qt::RightButton, Qt::NoModifier, QPoint(x, y));
    ProcessEvents();
}

void PressCloseBox(HWND hDlg) {
    if (DialogHandle* d = dialogOf(hDlg)) {
        d->window->close();
    }
    ProcessEvents();
}

void FocusControl(HWND hDlg, int id) {
    SetFocus(GetDlgItem(hDlg, id));
    ProcessEvents();
}

void PressKey(HWND hDlg, Key key) {
    QWindow* window = windowOf(hDlg);
    switch (key) {
    case Key::Enter:
        QTest::keyClick(window, Qt::Key_Return);
        break;
    case Key::Escape:
        QTest::keyClick(window, Qt::Key_Escape);
        break;
    case Key::Up:
        QTest::keyClick(window, Qt::Key_Up);
        break;
    case Key::Down:
        QTest::keyClick(window, Qt::Key_Down);
        break;
    case Key::Tab:
        QTest::keyClick(window, Qt::Key_Tab);
        break;
    case Key::Space:
        QTest::keyClick(window, Qt::Key_Space);
        break;
    case Key::AltF4:
        QTest::keyClick(window, Qt::Key_F4, Qt::AltModifier);
        break;
    case Key::AltSpace:
        QTest::keyClick(window, Qt::Key_Space, Qt::AltModifier);
        break;
    }
    ProcessEvents();
}

void TypeText(HWND hDlg, const std::string& text) {
    QWindow* window = windowOf(hDlg);
    for (char ch : text) {
        QTest::keyClick(window, ch);
    }
    ProcessEvents();
}

void PressCtrlKey(HWND hDlg, WORD virtualKey, bool bShift, bool bKeypad) {
    int key = virtualKey;
    switch (virtualKey) {
    case VK_PRIOR:
        key = Qt::Key_PageUp;
        break;
    case VK_NEXT:
        key = Qt::Key_PageDown;
        break;
    case VK_UP:
        key = Qt::Key_Up;
        break;
    case VK_DOWN:
        key = Qt::Key_Down;
        break;
    default:
        break;
    }
    Qt::KeyboardModifiers mods = Qt::ControlModifier;
    mods |= bShift ? Qt::ShiftModifier : Qt::NoModifier;
    mods |= bKeypad ? Qt::KeypadModifier : Qt::NoModifier;
    QTest::keyClick(windowOf(hDlg), static_cast<Qt::Key>(key), mods);
    ProcessEvents();
}

namespace {
QAccessibleInterface* accessibleOf(HWND hDlg, int id) {
    return QAccessible::queryAccessibleInterface(control(hDlg, id).w.data());
}
} // namespace

std::string AccessibleName(HWND hDlg, int id) {
    return accessibleOf(hDlg, id)->text(QAccessible::Name).toStdString();
}

std::string AccessibleDescription(HWND hDlg, int id) {
    return accessibleOf(hDlg, id)->text(QAccessible::Description).toStdString();
}

std::vector<std::string> AccessibleActions(HWND hDlg, int id) {
    std::vector<std::string> names;
    if (QAccessibleActionInterface* actions = accessibleOf(hDlg, id)->actionInterface()) {
        for (const QString& name : actions->actionNames()) {
            names.push_back(name.toStdString());
        }
    }
    return names;
}

void DoAccessibleAction(HWND hDlg, int id, const std::string& action) {
    if (QAccessibleActionInterface* actions = accessibleOf(hDlg, id)->actionInterface()) {
        actions->doAction(QString::fromStdString(action));
    }
    ProcessEvents();
}

std::vector<std::string> SpinnerArrowNames(HWND hDlg, int id) {
    std::vector<std::string> names;
    for (QToolButton* arrow :
         control(hDlg, id).w->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly)) {
        names.push_back(
            QAccessible::queryAccessibleInterface(arrow)->text(QAccessible::Name).toStdString());
    }
    return names;
}

std::string ToolTip(HWND hDlg, int id) {
    return control(hDlg, id).w->toolTip().toStdString();
}

void PressAccessKey(HWND hDlg, char letter) {
    QTest::keyClick(windowOf(hDlg), letter, Qt::AltModifier);
    // A button pressed by its access key shows the press briefly and then
    // clicks: wait until no button of the dialog is down any more.
    DialogHandle* d = dialogOf(hDlg);
    WaitUntil([d] {
        for (const auto& c : d->controls) {
            auto* button = qobject_cast<QAbstractButton*>(c->w);
            if (button && button->isDown()) {
                return false;
            }
        }
        return true;
    });
    ProcessEvents();
}

std::string Text(HWND hDlg, int id) {
    QWidget* w = control(hDlg, id).w;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        return edit->text().toStdString();
    }
    if (auto* group = qobject_cast<QGroupBox*>(w)) {
        return group->title().toStdString();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text().toStdString();
    }
    return {};
}

bool Checked(HWND hDlg, int id) {
    return IsDlgButtonChecked(hDlg, id) == BST_CHECKED;
}
bool Visible(HWND hDlg, int id) {
    return !control(hDlg, id).w->isHidden();
}
bool Enabled(HWND hDlg, int id) {
    return control(hDlg, id).w->isEnabled();
}
bool HasTabStop(HWND hDlg, int id) {
    return (control(hDlg, id).w->focusPolicy() & Qt::TabFocus) != 0;
}
bool ShowsPicture(HWND hDlg, int id) {
    auto* button = qobject_cast<QAbstractButton*>(control(hDlg, id).w);
    return button && !button->icon().isNull();
}

Rect Geometry(HWND hDlg, int id) {
    return toRect(control(hDlg, id).w->geometry());
}

Rect ClientGeometry(HWND hDlg) {
    DialogHandle* d = dialogOf(hDlg);
    return d ? toRect(d->window->geometry()) : Rect{};
}

FontInfo Font(HWND hDlg, int id) {
    const QFont& font = control(hDlg, id).w->font();
    return {QFontInfo(font).family().toStdString(), QFontMetrics(font).height(),
            font.weight() >= QFont::Bold};
}

Colours FieldColours(HWND hDlg, int id) {
    ControlHandle& c = control(hDlg, id);
    refreshColours(c);
    const QPalette& palette = c.w->palette();
    return {toColorRef(palette.color(QPalette::Text)), toColorRef(palette.color(QPalette::Base))};
}

int ProgressPosition(HWND hDlg, int id) {
    auto* bar = dynamic_cast<LevelBar*>(control(hDlg, id).w.data());
    return bar ? bar->value() : -1;
}

int FocusId(HWND hDlg) {
    DialogHandle* d = dialogOf(hDlg);
    if (!d) {
        return 0;
    }
    ControlHandle* c = d->control(d->window->focusWidget());
    return c ? c->item->id : 0;
}

int TextWidth(HWND hDlg, int id, const std::string& text) {
    return QFontMetrics(control(hDlg, id).w->font())
        .horizontalAdvance(QString::fromStdString(text));
}

Rect InkBounds(HWND hDlg, int id, COLORREF colour, int tolerance) {
    const QImage image = control(hDlg, id).w->grab().toImage();
    const QColor wanted = toQColor(colour);
    const double ratio = image.devicePixelRatio();
    int left = image.width();
    int top = image.height();
    int right = -1;
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - wanted.red()) + std::abs(pixel.green() - wanted.green()) +
                    std::abs(pixel.blue() - wanted.blue()) <=
                tolerance) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        return {};
    }
    auto scaled = [ratio](int v) { return static_cast<int>(v / ratio); };
    return {scaled(left), scaled(top), scaled(right - left + 1), scaled(bottom - top + 1)};
}

std::string WindowTitle(HWND hDlg) {
    DialogHandle* d = dialogOf(hDlg);
    return d ? d->window->windowTitle().toStdString() : std::string();
}

bool HasWindowIcon(HWND hDlg) {
    DialogHandle* d = dialogOf(hDlg);
    return d && !d->window->windowIcon().isNull();
}

std::vector<int> TabOrder(HWND hDlg) {
    std::vector<int> ids;
    DialogHandle* d = dialogOf(hDlg);
    if (!d) {
        return ids;
    }
    QWidget* start = d->window.get();
    for (QWidget* w = start->nextInFocusChain(); w && w != start; w = w->nextInFocusChain()) {
        ControlHandle* c = d->control(w);
        if (c && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && !w->isHidden()) {
            ids.push_back(c->item->id);
        }
    }
    return ids;
}

void SetMessageBoxResponder(std::function<int(const MessageBoxSeen&)> responder) {
    installResponders();
    responders().messageBox = std::move(responder);
}

const std::vector<MessageBoxSeen>& MessageBoxesSeen() {
    return responders().seen;
}
void ClearMessageBoxesSeen() {
    responders().seen.clear();
}

void SetMenuResponder(std::function<std::string(const std::vector<std::string>&)> responder) {
    installResponders();
    responders().menu = std::move(responder);
}

int BeepCount() {
    installResponders(); // counting starts here
    return responders().beeps;
}
UINT LastBeep() {
    return responders().lastBeep;
}
int FlashCount() {
    installResponders();
    return responders().flashes;
}

bool Screenshot(HWND hDlg, const std::string& path) {
    DialogHandle* d = dialogOf(hDlg);
    return d && d->window->grab().save(QString::fromStdString(path), "PNG");
}

bool SaveIcon(HICON hIcon, const std::string& path) {
    const Icon* icon = iconOf(hIcon);
    return icon && icon->image.save(QString::fromStdString(path), "PNG");
}

DWORD IconPixel(HICON hIcon, int x, int y) {
    const Icon* icon = iconOf(hIcon);
    if (!icon || !icon->image.valid(x, y)) {
        return 0;
    }
    const QColor c = icon->image.pixelColor(x, y);
    return toColorRef(c) | (static_cast<DWORD>(c.alpha()) << 24);
}

int IconSize(HICON hIcon) {
    const Icon* icon = iconOf(hIcon);
    return icon && icon->image.width() == icon->image.height() ? icon->image.width() : 0;
}

} // namespace dialogtest
