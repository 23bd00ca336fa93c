// The modal dialog: templates, the modal loop, posted messages and the
// control operations.
#include "platform/dialog.h"

#include "platform/accessible.h"
#include "platform/dialog_internal.h"
#include "platform/dialog_qt.h"
#include "platform/levelbar.h"
#include "platform/sync.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>
#include <map>

namespace dialog_internal {
namespace {

std::map<int, const DLGTEMPLATEDATA*>& templates() {
    static std::map<int, const DLGTEMPLATEDATA*> all;
    return all;
}

// Dialog handles stay valid for the whole run: a thread may still post to
// a dialog that has ended, and the post then fails instead of touching
// freed memory.
std::deque<std::unique_ptr<DialogHandle>>& dialogs() {
    static std::deque<std::unique_ptr<DialogHandle>> all;
    return all;
}

int resourceId(LPCSTR szName) {
    const auto value = reinterpret_cast<std::uintptr_t>(szName);
    return value <= 0xFFFF ? static_cast<int>(value) : -1;
}

// Fusion, with the tighter gap between a box and its caption that the
// dialog's narrow check and radio buttons were laid out for.
class DialogStyle final : public QProxyStyle {
  public:
    DialogStyle() : QProxyStyle(QStringLiteral("Fusion")) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_RadioButtonLabelSpacing || metric == PM_CheckBoxLabelSpacing) {
            return 3;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

void endModalLoop(DialogHandle& d) {
    if (d.loop) {
        d.loop->exit(0);
    }
}

void teardown(DialogHandle& d) {
    {
        std::lock_guard guard(d.postLock);
        d.receiver = nullptr;
    }
    if (d.window) {
        d.window->hide();
        d.window.reset(); // also drops messages still queued for it
    }
}

QString fromUtf8(LPCSTR sz) {
    return sz ? QString::fromUtf8(sz) : QString();
}

} // namespace

BOOL DialogHandle::post(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard guard(postLock);
    if (!receiver) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    QMetaObject::invokeMethod(
        receiver, [this, uMsg, wParam, lParam] { send(uMsg, wParam, lParam); },
        Qt::QueuedConnection);
    return TRUE;
}

LRESULT DialogHandle::send(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (!proc) {
        return 0;
    }
    const INT_PTR answer = proc(this, uMsg, wParam, lParam);
    if (ended) {
        endModalLoop(*this);
    }
    return answer;
}

ControlHandle* DialogHandle::control(int id) const {
    for (const auto& c : controls) {
        if (c->item->id == id && c->w) {
            return c.get();
        }
    }
    return nullptr;
}

ControlHandle* DialogHandle::control(const QObject* widget) const {
    const auto it = byWidget.find(widget);
    return it == byWidget.end() ? nullptr : it->second;
}

UiWindow* uiWindowOf(HWND hWnd) {
    return dynamic_cast<UiWindow*>(hWnd);
}
DialogHandle* dialogOf(HWND hWnd) {
    auto* d = dynamic_cast<DialogHandle*>(hWnd);
    return d && d->window ? d : nullptr;
}
ControlHandle* controlOf(HWND hWnd) {
    auto* c = dynamic_cast<ControlHandle*>(hWnd);
    return c && c->w ? c : nullptr;
}

void ensureApplication() {
    if (QApplication::instance()) {
        return;
    }
    static int argc = 1;
    static char name[] = "velkor";
    static char* argv[] = {name, nullptr};
    // Kept for the whole run and never destroyed: tearing Qt down from the
    // exit handlers, while fonts and icons of the program still exist,
    // crashes. It stays reachable, so leak checkers do not report it.
    static QApplication* application = nullptr;
    application = new QApplication(argc, argv); // NOLINT(cppcoreguidelines-owning-memory)
    Q_UNUSED(application);
    // One style everywhere, so the layout looks the same on every desktop.
    QApplication::setStyle(new DialogStyle); // NOLINT(cppcoreguidelines-owning-memory): Qt owns it
    accessible::install();
}

} // namespace dialog_internal

using namespace dialog_internal;

BOOL RegisterDialogTemplate(int id, const DLGTEMPLATEDATA* pTemplate) {
    if (!pTemplate || !pTemplate->pItems || pTemplate->cItems == 0) {
        return FALSE;
    }
    templates()[id] = pTemplate;
    return TRUE;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX*) {
    return TRUE;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR szTemplate, HWND, DLGPROC pDialogFunc,
                        LPARAM dwInitParam) {
    const auto found = templates().find(resourceId(szTemplate));
    if (found == templates().end() || !pDialogFunc) {
        return -1;
    }
    ensureApplication();
    // The dialog's own loop ends the dialog; closing the last window (a
    // message box shown before the dialog appears) must not end anything.
    QApplication::setQuitOnLastWindowClosed(false);
    DialogHandle& d = *dialogs().emplace_back(std::make_unique<DialogHandle>());
    d.proc = pDialogFunc;
    d.dialogTemplate = found->second;
    buildDialog(d);
    GetSystemMenu(&d, FALSE); // every dialog has Minimize and Close
    {
        std::lock_guard guard(d.postLock);
        d.receiver = d.window.get();
    }

    HWND firstTabStop = nullptr;
    for (const auto& c : d.controls) {
        if ((c->item->dwStyle & DIS_TABSTOP) && c->w->isEnabled() && !c->w->isHidden()) {
            firstTabStop = c.get();
            break;
        }
    }
    const INT_PTR setFocusItself =
        d.send(WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), dwInitParam);
    if (!d.ended) {
        if (setFocusItself && firstTabStop) {
            SetFocus(firstTabStop);
        }
        for (const auto& c : d.controls) {
            refreshColours(*c);
        }
        d.window->show();
        d.window->activateWindow();
        if (observer()) {
            QTimer::singleShot(0, d.window.get(), [&d] {
                if (DialogObserver* o = observer()) {
                    o->dialogShown(&d);
                }
            });
        }
        QEventLoop loop;
        d.loop = &loop;
        if (!d.ended) {
            loop.exec();
        }
        d.loop = nullptr;
    }
    teardown(d);
    return d.result;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
    DialogHandle* d = dialogOf(hDlg);
    if (!d) {
        return FALSE;
    }
    d->ended = true;
    d->result = nResult;
    closeMessageBoxes(*d);
    endModalLoop(*d);
    return TRUE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    DialogHandle* d = dialogOf(hDlg);
    return d ? d->control(nIDDlgItem) : nullptr;
}

int GetDlgCtrlID(HWND hWnd) {
    ControlHandle* c = controlOf(hWnd);
    return c ? c->item->id : 0;
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR szText) {
    ControlHandle* c = controlOf(GetDlgItem(hDlg, nIDDlgItem));
    if (!c) {
        return FALSE;
    }
    const QString text = fromUtf8(szText);
    c->caption = szText ? szText : "";
    if (auto* edit = qobject_cast<QLineEdit*>(c->w)) {
        edit->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(c->w)) {
        group->setTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(c->w)) {
        if (!c->image) {
            button->setText(text);
        }
        if (c->item->dwStyle & DIS_ICON) {
            button->setToolTip(QString(text).remove(QLatin1Char('&')));
        }
    }
    return TRUE;
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR szText) {
    DialogHandle* d = dialogOf(hWnd);
    if (!d || !d->window) {
        return FALSE;
    }
    d->window->setWindowTitle(fromUtf8(szText));
    return TRUE;
}

int GetWindowTextA(HWND hWnd, LPSTR szText, int cchMax) {
    if (!szText || cchMax <= 0) {
        return 0;
    }
    szText[0] = '\0';
    DialogHandle* d = dialogOf(hWnd);
    if (!d || !d->window) {
        return 0;
    }
    const std::string text = d->window->windowTitle().toStdString();
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(cchMax - 1));
    std::memcpy(szText, text.data(), n);
    szText[n] = '\0';
    return static_cast<int>(n);
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR szText, int cchMax) {
    if (!szText || cchMax <= 0) {
        return 0;
    }
    szText[0] = '\0';
    ControlHandle* c = controlOf(GetDlgItem(hDlg, nIDDlgItem));
    if (!c) {
        return 0;
    }
    std::string text = c->caption;
    if (auto* edit = qobject_cast<QLineEdit*>(c->w)) {
        text = edit->text().toStdString();
    }
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(cchMax - 1));
    std::memcpy(szText, text.data(), n);
    szText[n] = '\0';
    return static_cast<UINT>(n);
}

UINT GetDlgItemInt(HWND hDlg, int nIDDlgItem, BOOL* pTranslated, BOOL bSigned) {
    if (pTranslated) {
        *pTranslated = FALSE;
    }
    std::array<char, 64> buffer{};
    GetDlgItemTextA(hDlg, nIDDlgItem, buffer.data(), static_cast<int>(buffer.size()));
    const char* p = buffer.data();
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    const bool negative = bSigned && *p == '-';
    if (negative) {
        ++p;
    }
    if (*p < '0' || *p > '9') {
        return 0;
    }
    // Up to 2^31 for a negative number, 2^31 - 1 for a positive signed one,
    // 2^32 - 1 unsigned; anything larger, or any other character, fails.
    const std::uint64_t limit = !bSigned   ? std::numeric_limits<std::uint32_t>::max()
                                : negative ? std::uint64_t{1} << 31
                                           : (std::uint64_t{1} << 31) - 1;
    std::uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        if (value > limit) {
            return 0;
        }
    }
    if (*p != '\0') {
        return 0;
    }
    if (pTranslated) {
        *pTranslated = TRUE;
    }
    const auto result = static_cast<std::uint32_t>(value);
    return negative ? 0u - result : result;
}

BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    ControlHandle* c = controlOf(GetDlgItem(hDlg, nIDButton));
    auto* button = c ? qobject_cast<QAbstractButton*>(c->w) : nullptr;
    if (!button || !button->isCheckable()) {
        return FALSE;
    }
    button->setChecked(uCheck == BST_CHECKED);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    ControlHandle* c = controlOf(GetDlgItem(hDlg, nIDButton));
    auto* button = c ? qobject_cast<QAbstractButton*>(c->w) : nullptr;
    return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

BOOL CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
    DialogHandle* d = dialogOf(hDlg);
    if (!d) {
        return FALSE;
    }
    for (int id = nIDFirstButton; id <= nIDLastButton; ++id) {
        if (GetDlgItem(hDlg, id)) {
            CheckDlgButton(hDlg, id, id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED);
        }
    }
    return TRUE;
}

LRESULT SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? SendMessageA(control, uMsg, wParam, lParam) : 0;
}

LRESULT SendMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (DialogHandle* d = dialogOf(hWnd)) {
        if (uMsg == WM_SETICON) {
            const auto* icon = iconOf(reinterpret_cast<HICON>(lParam));
            HICON& slot = wParam == ICON_SMALL ? d->iconSmall : d->iconBig;
            HICON previous = slot;
            slot = reinterpret_cast<HICON>(lParam);
            if (icon) {
                // One Qt window icon serves both sizes; the large one wins.
                const Icon* big = iconOf(d->iconBig);
                d->window->setWindowIcon(big ? big->icon : icon->icon);
            }
            return reinterpret_cast<LRESULT>(previous);
        }
        if (uMsg == WM_SETFONT) {
            if (const QFont* font = fontOf(reinterpret_cast<HFONT>(wParam))) {
                d->window->setFont(*font);
            }
            return 0;
        }
        // Anything else goes to the dialog procedure, as a sent message.
        return d->send(uMsg, wParam, lParam);
    }
    ControlHandle* c = controlOf(hWnd);
    if (!c) {
        return 0;
    }
    switch (uMsg) {
    case WM_SETFONT:
        if (const QFont* font = fontOf(reinterpret_cast<HFONT>(wParam))) {
            c->font = reinterpret_cast<HFONT>(wParam);
            c->w->setFont(*font);
            if (LOWORD(static_cast<WPARAM>(lParam))) {
                c->w->update();
            }
        }
        return 0;
    case PBM_SETPOS:
        if (auto* bar = dynamic_cast<LevelBar*>(c->w.data())) {
            const int previous = bar->value();
            bar->setValue(
                static_cast<int>(std::min<WPARAM>(wParam, std::numeric_limits<int>::max())));
            return previous;
        }
        return 0;
    case BM_CLICK:
        if (auto* button = qobject_cast<QAbstractButton*>(c->w)) {
            button->click(); // nothing for a disabled button
        }
        return 0;
    case BM_SETIMAGE:
        if (auto* button = qobject_cast<QPushButton*>(c->w); button && wParam == IMAGE_ICON) {
            HICON previous = c->image;
            const Icon* icon = iconOf(reinterpret_cast<HICON>(lParam));
            c->image = icon ? reinterpret_cast<HICON>(lParam) : nullptr;
            if (icon) {
                const int side = std::max(8, std::min(button->width(), button->height()) - 8);
                button->setIcon(icon->icon);
                button->setIconSize(QSize(side, side));
                if (c->item->dwStyle & DIS_ICON) {
                    button->setText(QString());
                }
            } else {
                button->setIcon(QIcon());
                button->setText(QString::fromStdString(c->caption));
            }
            return reinterpret_cast<LRESULT>(previous);
        }
        return 0;
    default:
        return 0;
    }
}

HWND SetFocus(HWND hWnd) {
    UiWindow* target = uiWindowOf(hWnd);
    QWidget* widget = target ? target->widget() : nullptr;
    if (!widget) {
        return nullptr;
    }
    ControlHandle* control = controlOf(hWnd);
    DialogHandle* d = control ? control->dialog : dialogOf(hWnd);
    HWND previous = nullptr;
    if (QWidget* focused = widget->window()->focusWidget(); focused && d) {
        previous = d->control(focused);
    }
    widget->setFocus(Qt::OtherFocusReason);
    return previous;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
    UiWindow* target = uiWindowOf(hWnd);
    QWidget* widget = target ? target->widget() : nullptr;
    if (!widget) {
        return FALSE;
    }
    const BOOL wasVisible = widget->isHidden() ? FALSE : TRUE;
    widget->setVisible(nCmdShow != SW_HIDE);
    return wasVisible;
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
    UiWindow* target = uiWindowOf(hWnd);
    QWidget* widget = target ? target->widget() : nullptr;
    if (!widget) {
        return FALSE;
    }
    const BOOL wasDisabled = widget->isEnabled() ? FALSE : TRUE;
    widget->setEnabled(bEnable != FALSE);
    return wasDisabled;
}

// Read-only fields never show a text cursor here, and an editable field
// keeps its own, so there is nothing to hide; the call succeeds.
BOOL HideCaret(HWND) {
    return TRUE;
}

// Fontconfig keeps a few blocks of its own for the whole run, which the
// leak checker of sanitizer builds would otherwise report at exit.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

QWidget* DialogWidget(HWND hWnd) {
    dialog_internal::DialogHandle* d = dialog_internal::dialogOf(hWnd);
    return d != nullptr ? d->window.get() : nullptr;
}
