// Builds the dialog's widgets from its template and turns the operator's
// clicks and keys into the dialog procedure's messages.
#include "platform/accessible.h"
#include "platform/dialog_internal.h"
#include "platform/levelbar.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace dialog_internal {
namespace {

// Fixed base units of the 8-point dialog font, in pixels.
constexpr int BASE_X = 6;
constexpr int BASE_Y = 13;

// Screen resolution the point sizes of templates assume.
constexpr int DESIGN_DPI = 96;

QString fromUtf8(LPCSTR sz) {
    return sz ? QString::fromUtf8(sz) : QString();
}

// A radio button that keeps its mark when clicked: only CheckDlgButton and
// CheckRadioButton change it.
class RadioButton final : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;

  protected:
    void nextCheckState() override {}
};

// A text field that asks the dialog procedure for its colours each time it
// is drawn, when it is read-only.
class EditField final : public QLineEdit {
  public:
    EditField(ControlHandle& control, QWidget* parent) : QLineEdit(parent), control_(control) {}

  protected:
    void paintEvent(QPaintEvent* event) override {
        refreshColours(control_);
        QLineEdit::paintEvent(event);
        if (control_.item->dwStyle & DIS_BORDER) {
            // A thin single-line border, like a flat dialog field, leaves
            // the text as much room as possible.
            QPainter painter(this);
            painter.setPen(palette().color(QPalette::Dark));
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }

  private:
    ControlHandle& control_;
};

// Up-down spinner: two arrow buttons; each press (and each repeat while
// held) is one step.
class Spinner final : public QWidget {
  public:
    Spinner(ControlHandle& control, QWidget* parent) : QWidget(parent) {
        up_.setArrowType(Qt::UpArrow);
        down_.setArrowType(Qt::DownArrow);
        for (QToolButton* b : {&up_, &down_}) {
            b->setFocusPolicy(Qt::NoFocus);
            b->setAutoRepeat(true);
            b->setAutoRepeatDelay(400);
            b->setAutoRepeatInterval(100);
        }
        connect(&up_, &QToolButton::clicked, this, [&control] { notifySpinner(control, -1); });
        connect(&down_, &QToolButton::clicked, this, [&control] { notifySpinner(control, +1); });
    }

  protected:
    void resizeEvent(QResizeEvent*) override {
        const int half = height() / 2;
        up_.setGeometry(0, 0, width(), half);
        down_.setGeometry(0, half, width(), height() - half);
    }

  private:
    QToolButton up_{this};
    QToolButton down_{this};
};

// Keys the dialog manager handles for every control: the accelerators,
// Escape, Enter, the spinner keys, Alt+F4 and Alt+Space; and digits-only
// fields.
bool handleDialogKey(DialogHandle& d, ControlHandle* c, const QKeyEvent& key) {
    if (translateAccelerator(d, key)) {
        return true;
    }
    const auto mods = key.modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::AltModifier && key.key() == Qt::Key_F4) {
        d.send(WM_CLOSE, 0, 0);
        return true;
    }
    if (mods == Qt::AltModifier && key.key() == Qt::Key_Space) {
        openSystemMenu(d, d.window->mapToGlobal(QPoint(0, 0)));
        return true;
    }
    if (mods != Qt::NoModifier && mods != Qt::ShiftModifier) {
        return false;
    }
    switch (key.key()) {
    case Qt::Key_Escape:
        d.send(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* button = c ? qobject_cast<QPushButton*>(c->w) : nullptr) {
            button->click();
        } else {
            pressDefaultButton(d);
        }
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (c && c->spinner && (c->spinner->item->dwStyle & DIS_ARROWKEYS) &&
            c->spinner->w->isEnabled()) {
            notifySpinner(*c->spinner, key.key() == Qt::Key_Up ? -1 : +1);
            return true;
        }
        return false;
    default:
        break;
    }
    if (c && c->item->kind == DlgItemKind::EditText && (c->item->dwStyle & DIS_NUMBER)) {
        const QString text = key.text();
        if (!text.isEmpty() && text.at(0).isPrint() && !text.at(0).isDigit()) {
            QApplication::beep();
            return true; // only digits can be typed
        }
    }
    return false;
}

class DialogWindow final : public QWidget {
  public:
    explicit DialogWindow(DialogHandle& d) : d_(d) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            return handleDialogKey(d_, d_.control(watched), *static_cast<QKeyEvent*>(event));
        }
        return false;
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!handleDialogKey(d_, nullptr, *event)) {
            QWidget::keyPressEvent(event);
        }
    }
    // The close box asks; only EndDialog ends the dialog.
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        d_.send(WM_CLOSE, 0, 0);
    }
    // A right click on the background opens the system menu.
    void contextMenuEvent(QContextMenuEvent* event) override {
        openSystemMenu(d_, event->globalPos());
    }

  private:
    DialogHandle& d_;
};

// The template's face at its point size. Where the face is missing, the
// substitute is narrowed until its average character is no wider than the
// base unit, so captions fit the controls as they were laid out.
QFont dialogFont(LPCSTR szFaceName, int nPointSize) {
    QFont font;
    font.setFamilies({fromUtf8(szFaceName), QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Sans Serif")});
    font.setPixelSize(MulDiv(nPointSize > 0 ? nPointSize : 8, DESIGN_DPI, 72));
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double average = QFontMetricsF(font).horizontalAdvance(alphabet) / alphabet.size();
    if (average > BASE_X) {
        font.setStretch(std::max(50, static_cast<int>(100.0 * BASE_X / average)));
    }
    return font;
}

std::unique_ptr<QWidget> createWidget(ControlHandle& c, QWidget* parent) {
    const DLGITEM& item = *c.item;
    const QString caption = fromUtf8(item.szCaption);
    switch (item.kind) {
    case DlgItemKind::PushButton:
    case DlgItemKind::DefPushButton: {
        auto button = std::make_unique<QPushButton>(caption, parent);
        button->setAutoDefault(false);
        button->setDefault(item.kind == DlgItemKind::DefPushButton);
        if (item.dwStyle & DIS_ICON) {
            button->setToolTip(QString(caption).remove(QLatin1Char('&'))); // names the picture
        }
        QObject::connect(button.get(), &QPushButton::clicked, button.get(),
                         [&c] { notifyClicked(c); });
        return button;
    }
    case DlgItemKind::CheckBox: {
        auto box = std::make_unique<QCheckBox>(caption, parent);
        QObject::connect(box.get(), &QCheckBox::clicked, box.get(), [&c] { notifyClicked(c); });
        return box;
    }
    case DlgItemKind::RadioButton: {
        auto radio = std::make_unique<RadioButton>(caption, parent);
        radio->setAutoExclusive(false);
        QObject::connect(radio.get(), &QRadioButton::clicked, radio.get(),
                         [&c] { notifyClicked(c); });
        return radio;
    }
    case DlgItemKind::GroupBox:
        return std::make_unique<QGroupBox>(caption, parent);
    case DlgItemKind::EditText: {
        auto edit = std::make_unique<EditField>(c, parent);
        edit->setText(caption);
        edit->setReadOnly(item.dwStyle & DIS_READONLY);
        edit->setFrame(false);
        edit->setAlignment((item.dwStyle & DIS_RIGHT) ? Qt::AlignRight | Qt::AlignVCenter
                                                      : Qt::AlignLeft | Qt::AlignVCenter);
        if (item.dwStyle & DIS_BORDER) {
            edit->setContentsMargins(1, 1, 1, 1);
        }
        return edit;
    }
    case DlgItemKind::UpDown:
        return std::make_unique<Spinner>(c, parent);
    case DlgItemKind::ProgressBar: {
        auto bar = std::make_unique<LevelBar>(parent);
        bar->setRange(0, 100);
        return bar;
    }
    }
    return std::make_unique<QWidget>(parent);
}

Qt::FocusPolicy focusPolicy(const DLGITEM& item) {
    switch (item.kind) {
    case DlgItemKind::GroupBox:
    case DlgItemKind::UpDown:
    case DlgItemKind::ProgressBar:
        return Qt::NoFocus;
    default:
        return (item.dwStyle & DIS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus;
    }
}

} // namespace

QRect pixelRect(int x, int y, int cx, int cy) {
    return {MulDiv(x, BASE_X, 4), MulDiv(y, BASE_Y, 8), MulDiv(cx, BASE_X, 4),
            MulDiv(cy, BASE_Y, 8)};
}

void buildDialog(DialogHandle& d) {
    const DLGTEMPLATEDATA& t = *d.dialogTemplate;
    auto window = std::make_unique<DialogWindow>(d);
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint);
    window->setWindowModality(Qt::ApplicationModal);
    window->setWindowTitle(fromUtf8(t.szCaption));
    window->setFont(dialogFont(t.szFaceName, t.nPointSize));
    const QRect client = pixelRect(t.x, t.y, t.cx, t.cy);
    window->setFixedSize(client.size());
    window->setGeometry(client);

    ControlHandle* previous = nullptr;
    QWidget* previousTabStop = nullptr;
    for (std::size_t i = 0; i < t.cItems; ++i) {
        const DLGITEM& item = t.pItems[i];
        auto& c = *d.controls.emplace_back(std::make_unique<ControlHandle>());
        c.dialog = &d;
        c.item = &item;
        c.caption = item.szCaption ? item.szCaption : "";
        std::unique_ptr<QWidget> widget = createWidget(c, window.get());
        QWidget* w = widget.release(); // owned by the dialog window from here on
        c.w = w;
        d.byWidget[w] = &c;
        w->setGeometry(pixelRect(item.x, item.y, item.cx, item.cy));
        describeControl(c);
        if (item.kind == DlgItemKind::UpDown && previous && previous->w) {
            // At the right edge of the field before it, which gives up
            // that much of its width.
            const QRect field = previous->w->geometry();
            const int width = w->width();
            w->setGeometry(field.right() + 1 - width, field.top(), width, field.height());
            previous->w->setGeometry(field.adjusted(0, 0, -width, 0));
            c.buddy = previous;
            previous->spinner = &c;
        }
        if (item.kind != DlgItemKind::GroupBox && item.kind != DlgItemKind::EditText) {
            // Right clicks on controls other than fields and group boxes
            // do nothing; on group boxes they reach the background.
            w->setContextMenuPolicy(Qt::PreventContextMenu);
        }
        w->setFocusPolicy(focusPolicy(item));
        w->setEnabled(!(item.dwStyle & DIS_DISABLED));
        w->setVisible(!(item.dwStyle & DIS_HIDDEN));
        w->installEventFilter(window.get());
        if (w->focusPolicy() != Qt::NoFocus) {
            if (previousTabStop) {
                QWidget::setTabOrder(previousTabStop, w);
            }
            previousTabStop = w;
        }
        previous = &c;
    }
    for (const auto& c : d.controls) {
        if (c->item->kind == DlgItemKind::GroupBox) {
            c->w->lower();
        }
    }
    d.window = std::move(window);
}

void refreshColours(ControlHandle& c) {
    auto* edit = qobject_cast<QLineEdit*>(c.w);
    if (!edit || !edit->isReadOnly() || !c.dialog->window) {
        return;
    }
    DeviceContext dc;
    const LRESULT answer = c.dialog->send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(&dc),
                                          reinterpret_cast<LPARAM>(&c));
    // Unless the procedure says otherwise, a read-only field shows the
    // dialog's own background, which tells it apart from fields that take
    // typing. A high-contrast palette of the desktop overrides what the
    // procedure says, as the desktop's high-contrast setting does
    // elsewhere.
    QPalette palette = c.dialog->window->palette();
    const bool bDesktopColours = accessible::highContrast(palette);
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    if (const Brush* brush = brushOf(answer); brush && !bDesktopColours) {
        palette.setColor(QPalette::Base, toQColor(brush->colour));
        palette.setColor(QPalette::Window, toQColor(brush->colour));
        if (dc.textSet) {
            palette.setColor(QPalette::Text, toQColor(dc.text));
        }
    }
    if (!(palette == edit->palette())) {
        edit->setPalette(palette);
    }
}

void pressDefaultButton(DialogHandle& d) {
    for (const auto& c : d.controls) {
        if (c->item->kind == DlgItemKind::DefPushButton && c->w && c->w->isEnabled() &&
            !c->w->isHidden()) {
            static_cast<QPushButton*>(c->w.data())->click();
            return;
        }
    }
}

void notifySpinner(ControlHandle& spinner, int delta) {
    NMUPDOWN nm{};
    nm.hdr.hwndFrom = &spinner;
    nm.hdr.idFrom = static_cast<UINT_PTR>(spinner.item->id);
    nm.hdr.code = UDN_DELTAPOS;
    nm.iPos = 0;
    nm.iDelta = delta;
    spinner.dialog->send(WM_NOTIFY, static_cast<WPARAM>(spinner.item->id),
                         reinterpret_cast<LPARAM>(&nm));
}

void notifyClicked(ControlHandle& c) {
    c.dialog->send(WM_COMMAND, MAKEWPARAM(static_cast<WORD>(c.item->id), BN_CLICKED),
                   reinterpret_cast<LPARAM>(&c));
}

} // namespace dialog_internal
