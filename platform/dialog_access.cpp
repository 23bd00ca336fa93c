// The dialog's controls for assistive technology: names, spoken values,
// change events, and the keyboard accelerators.
#include "platform/accessible.h"
#include "platform/dialog_internal.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QToolButton>

namespace dialog_internal {
namespace {

QString fromUtf8(LPCSTR sz) {
    return sz ? QString::fromUtf8(sz) : QString();
}

// A spinner's two arrows, upper first.
QList<QToolButton*> arrowsOf(const ControlHandle& c) {
    return c.w ? c.w->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly)
               : QList<QToolButton*>{};
}

// The virtual-key code of a key, or 0 for a key no accelerator takes.
WORD virtualKey(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return static_cast<WORD>(key); // the same codes
    }
    switch (key) {
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Down:
        return VK_DOWN;
    default:
        return 0;
    }
}

} // namespace

void describeControl(ControlHandle& c) {
    if (auto* button = qobject_cast<QAbstractButton*>(c.w)) {
        accessible::actLikeAClick(button);
    }
    if (c.item->kind == DlgItemKind::UpDown) {
        const QList<QToolButton*> arrows = arrowsOf(c);
        if (arrows.size() == 2) {
            accessible::nameControl(arrows[0], QStringLiteral("Up"));
            accessible::nameControl(arrows[1], QStringLiteral("Down"));
        }
    }
}

bool translateAccelerator(DialogHandle& d, const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods = key.modifiers();
    if (d.accelerators.empty() || (mods & (Qt::KeypadModifier | Qt::MetaModifier))) {
        return false;
    }
    const WORD vk = virtualKey(key.key());
    if (vk == 0) {
        return false;
    }
    BYTE fVirt = FVIRTKEY;
    fVirt |= (mods & Qt::ControlModifier) ? FCONTROL : 0;
    fVirt |= (mods & Qt::AltModifier) ? FALT : 0;
    fVirt |= (mods & Qt::ShiftModifier) ? FSHIFT : 0;
    for (const ACCEL& a : d.accelerators) {
        if ((a.fVirt | FVIRTKEY) == fVirt && a.key == vk) {
            d.send(WM_COMMAND, MAKEWPARAM(a.cmd, ACCEL_NOTIFICATION), 0);
            return true;
        }
    }
    return false;
}

} // namespace dialog_internal

using namespace dialog_internal;

BOOL SetAccPropStr(HWND hWnd, ACCPROPID idProp, LPCSTR szValue) {
    UiWindow* target = uiWindowOf(hWnd);
    QWidget* w = target ? target->widget() : nullptr;
    if (!w) {
        return FALSE;
    }
    const QString text = fromUtf8(szValue);
    ControlHandle* c = controlOf(hWnd);
    switch (idProp) {
    case PROPID_ACC_NAME:
        accessible::nameControl(w, text, accessible::helpOf(w));
        if (c && c->item->kind == DlgItemKind::UpDown) {
            // The arrows say whose they are: "Frequency up".
            const QList<QToolButton*> arrows = arrowsOf(*c);
            if (arrows.size() == 2) {
                accessible::nameControl(arrows[0], text + QStringLiteral(" up"));
                accessible::nameControl(arrows[1], text + QStringLiteral(" down"));
            }
        }
        return TRUE;
    case PROPID_ACC_VALUE:
        accessible::setSpokenValue(w, text, false);
        return TRUE;
    case PROPID_ACC_HELP:
        accessible::setHelp(w, text);
        return TRUE;
    case PROPID_ACC_KEYBOARDSHORTCUT:
        accessible::showShortcutText(w, text);
        return TRUE;
    }
    return FALSE;
}

void NotifyWinEvent(DWORD event, HWND hWnd, LONG, LONG) {
    UiWindow* target = uiWindowOf(hWnd);
    if (event == EVENT_OBJECT_VALUECHANGE && target) {
        accessible::announceValue(target->widget());
    }
}

BOOL SetDialogAccelerators(HWND hDlg, const ACCEL* pAccel, int cAccel) {
    DialogHandle* d = dialogOf(hDlg);
    if (!d || cAccel < 0 || (cAccel > 0 && !pAccel)) {
        return FALSE;
    }
    d->accelerators.assign(pAccel, pAccel + cAccel);
    return TRUE;
}
