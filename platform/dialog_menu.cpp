// The system menu, message boxes, beeps and the caption flash.
//
// The desktop's own window menu cannot carry the program's commands on
// Linux, so the dialog has its own: a pop-up on a right click on its
// background or on Alt+Space, with Minimize and Close first.
#include "platform/dialog_internal.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QTimer>

#include <vector>

namespace dialog_internal {
namespace {

Menu::Item* findItem(Menu& menu, UINT id) {
    for (Menu::Item& item : menu.items) {
        if (!item.separator && item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

QMessageBox::Icon messageIcon(UINT uType) {
    switch (uType & 0xF0) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

namespace {
DialogObserver* plugged = nullptr;
} // namespace

DialogObserver* observer() {
    return plugged;
}

void openSystemMenu(DialogHandle& d, QPoint globalPos) {
    if (!d.window) {
        return;
    }
    QMenu popup(d.window.get());
    for (const Menu::Item& item : d.systemMenu.items) {
        if (item.separator) {
            popup.addSeparator();
            continue;
        }
        QAction* action = popup.addAction(QString::fromStdString(item.text));
        action->setData(item.id);
        if (!item.shortcut.empty()) {
            action->setShortcut(QKeySequence(QString::fromStdString(item.shortcut)));
        }
        if (item.checked) {
            action->setCheckable(true);
            action->setChecked(true);
        }
    }
    if (observer()) {
        QTimer::singleShot(0, &popup, [&popup] {
            if (DialogObserver* o = observer()) {
                o->menuShown(popup);
            }
        });
    }
    if (QAction* chosen = popup.exec(globalPos)) {
        systemCommand(d, chosen->data().toUInt());
    }
}

// A system command goes to the dialog procedure first; the standard ones
// it leaves alone are carried out here.
void systemCommand(DialogHandle& d, UINT id) {
    if (d.send(WM_SYSCOMMAND, id, 0)) {
        return;
    }
    if (id == SC_CLOSE) {
        d.send(WM_CLOSE, 0, 0);
    } else if (id == SC_MINIMIZE && d.window) {
        d.window->showMinimized();
    }
}

} // namespace dialog_internal

using namespace dialog_internal;

void SetDialogObserver(DialogObserver* pObserver) {
    plugged = pObserver;
}

HMENU GetSystemMenu(HWND hWnd, BOOL bRevert) {
    DialogHandle* d = dialogOf(hWnd);
    if (!d) {
        return nullptr;
    }
    if (bRevert || d->systemMenu.items.empty()) {
        d->systemMenu.items = {{SC_MINIMIZE, "Minimize", false, false, {}},
                               {SC_CLOSE, "Close", false, false, {}}};
    }
    d->systemMenu.owner = d;
    return bRevert ? nullptr : &d->systemMenu;
}

BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR szNewItem) {
    if (!hMenu) {
        return FALSE;
    }
    Menu::Item item;
    item.separator = (uFlags & MF_SEPARATOR) != 0;
    item.checked = (uFlags & MF_CHECKED) != 0;
    item.id = static_cast<UINT>(uIDNewItem);
    item.text = szNewItem && !item.separator ? szNewItem : "";
    // Text after a tab names the item's shortcut key, which chooses the
    // item from anywhere in the dialog.
    if (const std::size_t tab = item.text.find('\t'); tab != std::string::npos) {
        item.shortcut = item.text.substr(tab + 1);
        item.text.resize(tab);
        DialogHandle* d = hMenu->owner;
        if (d && d->window && !item.shortcut.empty()) {
            auto* shortcut =
                new QShortcut(QKeySequence(QString::fromStdString(item.shortcut)), d->window.get());
            shortcut->setContext(Qt::WindowShortcut);
            const UINT id = item.id;
            QObject::connect(shortcut, &QShortcut::activated, d->window.get(),
                             [d, id] { systemCommand(*d, id); });
        }
    }
    hMenu->items.push_back(item);
    return TRUE;
}

DWORD CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck) {
    Menu::Item* item = hMenu ? findItem(*hMenu, uIDCheckItem) : nullptr;
    if (!item) {
        return 0xFFFFFFFF;
    }
    const DWORD previous = item->checked ? MF_CHECKED : MF_UNCHECKED;
    item->checked = (uCheck & MF_CHECKED) != 0;
    return previous;
}

namespace {

// The message boxes open now, innermost last, with the dialog each
// belongs to (null for none). Touched only on the user-interface thread.
struct OpenBox {
    QMessageBox* box;
    DialogHandle* owner;
};
std::vector<OpenBox>& openBoxes() {
    static std::vector<OpenBox> boxes;
    return boxes;
}

} // namespace

void dialog_internal::restoreFocus(QWidget* owner, const QPointer<QWidget>& focusBefore) {
    QWidget* window = focusBefore ? focusBefore->window() : owner ? owner->window() : nullptr;
    if (!window || !window->isVisible()) {
        return;
    }
    window->activateWindow();
    if (focusBefore && focusBefore->isVisible() && focusBefore->isEnabled()) {
        focusBefore->setFocus(Qt::OtherFocusReason);
    }
}

void dialog_internal::closeMessageBoxes(DialogHandle& d) {
    for (const OpenBox& open : openBoxes()) {
        if (open.owner != &d) {
            continue;
        }
        if (QAbstractButton* escape = open.box->escapeButton()) {
            escape->click();
        } else {
            open.box->reject();
        }
    }
}

int MessageBoxA(HWND hWnd, LPCSTR szText, LPCSTR szCaption, UINT uType) {
    ensureApplication();
    UiWindow* owner = uiWindowOf(hWnd);
    const bool withCancel = (uType & 0x0F) == MB_OKCANCEL;
    QMessageBox box(messageIcon(uType), QString::fromUtf8(szCaption ? szCaption : "Error"),
                    QString::fromUtf8(szText ? szText : ""),
                    withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    owner ? owner->widget() : nullptr);
    box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    // A screen reader says the caption (the window's title) and, as the
    // box's description, its text when the box opens.
    box.setAccessibleDescription(box.text());
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    if (observer()) {
        MessageBoxRecord record{szCaption ? szCaption : "Error", szText ? szText : "", uType & 0xF0,
                                uType & 0x0F};
        QTimer::singleShot(0, &box, [&box, record] {
            if (DialogObserver* o = observer()) {
                o->messageBoxShown(box, record);
            }
        });
    }
    // The box runs its own event loop: posted messages keep reaching the
    // dialog procedure while it is open.
    openBoxes().push_back({&box, dialogOf(hWnd)});
    const QPointer<QWidget> focusBefore = QApplication::focusWidget();
    const int answer = box.exec();
    std::erase_if(openBoxes(), [&box](const OpenBox& open) { return open.box == &box; });
    restoreFocus(owner ? owner->widget() : nullptr, focusBefore);
    return answer == QMessageBox::Cancel ? IDCANCEL : IDOK;
}

BOOL MessageBeep(UINT uType) {
    if (DialogObserver* o = observer()) {
        o->beeped(uType);
    }
    if (QApplication::instance()) {
        QApplication::beep();
    }
    return TRUE;
}

BOOL FlashWindow(HWND hWnd, BOOL) {
    UiWindow* target = uiWindowOf(hWnd);
    QWidget* widget = target ? target->widget() : nullptr;
    if (!widget) {
        return FALSE;
    }
    if (DialogObserver* o = observer()) {
        o->flashed(hWnd);
    }
    const BOOL wasActive = widget->isActiveWindow() ? TRUE : FALSE;
    QApplication::alert(widget, 1000);
    return wasActive;
}
