// What the dialog layer's source files share: the objects behind the
// handles of platform/dialog.h, private to platform/ and to the driver
// that plugs into platform/dialog_observer.h. Everything here runs on the
// user-interface thread, except DialogHandle::post. Every name here is
// the project's own.
#pragma once

#include "platform/dialog.h"
#include "platform/dialog_observer.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class QEventLoop;
class QKeyEvent;
class QMenu;
class QMessageBox;

// Objects behind the GDI-style handles. They live until the program ends,
// so a handle never dangles.
struct Font {
    QFont font;
};
struct Icon {
    int id = 0;
    QIcon icon;
    QImage image; // the 128 x 128 artwork
};
struct Brush {
    COLORREF colour = 0;
};
struct DeviceContext {
    COLORREF text = 0;
    COLORREF background = 0;
    bool textSet = false;
    bool backgroundSet = false;
};
namespace dialog_internal {
struct DialogHandle;
}
struct Menu {
    struct Item {
        UINT id = 0;
        std::string text;
        bool separator = false;
        bool checked = false;
        std::string shortcut; // the key that chooses it from the dialog ("Ctrl+T"), or empty
    };
    std::vector<Item> items;
    dialog_internal::DialogHandle* owner = nullptr; // the system menu's dialog
};

namespace dialog_internal {

struct DialogHandle;

// A window of the dialog layer: the dialog itself or one of its controls.
struct UiWindow : Window {
    virtual QWidget* widget() const = 0;
};

struct ControlHandle final : UiWindow {
    QWidget* widget() const override { return w.data(); }

    DialogHandle* dialog = nullptr;
    const DLGITEM* item = nullptr;
    QPointer<QWidget> w;              // null once the dialog has ended
    ControlHandle* buddy = nullptr;   // a spinner's field
    ControlHandle* spinner = nullptr; // a field's spinner
    std::string caption;              // also kept while a button shows a picture
    HICON image = nullptr;
    HFONT font = nullptr;
};

struct DialogHandle final : UiWindow {
    // Queues the message for the dialog's thread; any thread.
    BOOL post(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    QWidget* widget() const override { return window.get(); }

    // Calls the dialog procedure now and returns its answer.
    LRESULT send(UINT uMsg, WPARAM wParam, LPARAM lParam);
    ControlHandle* control(int id) const;
    ControlHandle* control(const QObject* widget) const;

    DLGPROC proc = nullptr;
    const DLGTEMPLATEDATA* dialogTemplate = nullptr;
    std::unique_ptr<QWidget> window;
    std::vector<std::unique_ptr<ControlHandle>> controls;
    std::unordered_map<const QObject*, ControlHandle*> byWidget;
    Menu systemMenu;
    std::vector<ACCEL> accelerators;
    HICON iconSmall = nullptr;
    HICON iconBig = nullptr;
    bool ended = false;
    INT_PTR result = 0;
    QEventLoop* loop = nullptr;

    std::mutex postLock;
    QObject* receiver = nullptr; // guarded by postLock; null when the dialog is gone
};

UiWindow* uiWindowOf(HWND hWnd);
DialogHandle* dialogOf(HWND hWnd);
ControlHandle* controlOf(HWND hWnd);

// Creates the QApplication when the program has none.
void ensureApplication();

// Builds the top-level widget and every control of d.dialogTemplate.
void buildDialog(DialogHandle& d);
// Pixel rectangle of a rectangle in dialog units.
QRect pixelRect(int x, int y, int cx, int cy);
// Asks the dialog procedure for a read-only field's colours
// (WM_CTLCOLORSTATIC) and applies the answer.
void refreshColours(ControlHandle& c);
// Clicks the default push button (Enter in a text field).
void pressDefaultButton(DialogHandle& d);
// Sends WM_NOTIFY UDN_DELTAPOS for a spinner step.
void notifySpinner(ControlHandle& spinner, int delta);
// Sends WM_COMMAND for the accelerator the key matches; FALSE when none does.
bool translateAccelerator(DialogHandle& d, const QKeyEvent& key);
// Marks a control for assistive technology by its kind: its actions
// click it, a reading gets its spoken value's place.
void describeControl(ControlHandle& c);
// Sends WM_COMMAND for a clicked button.
void notifyClicked(ControlHandle& c);

// System menu and message boxes.
void openSystemMenu(DialogHandle& d, QPoint globalPos);
// Answers every message box still open over the dialog as its Escape key
// would, so that ending the dialog is not held up by a box in its loop.
void closeMessageBoxes(DialogHandle& d);
// After a box or the port chooser over `owner` closed: its window active
// again, the keyboard where it was before, so that neither is lost
// (without a window manager nothing else gives it back).
void restoreFocus(QWidget* owner, const QPointer<QWidget>& focusBefore);
void systemCommand(DialogHandle& d, UINT id);

// GDI-style objects.
const QFont* fontOf(HFONT hFont);
const Icon* iconOf(HICON hIcon);
const Brush* brushOf(LRESULT value); // null unless value is a brush of ours
QColor toQColor(COLORREF c);
COLORREF toColorRef(const QColor& c);

// The observer plugged in by SetDialogObserver; null when none.
DialogObserver* observer();

} // namespace dialog_internal
