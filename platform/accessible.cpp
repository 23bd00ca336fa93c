// Accessible interfaces of the program's own, and the helpers that name
// controls and give readings their spoken values.
#include "platform/accessible.h"

#include "access/contrast.h"
#include "platform/levelbar.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QPalette>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace accessible {
namespace {

// Dynamic properties of the widgets: the spoken value, the shortcut text,
// the help without the shortcut, and the mark that every accessible
// action should click.
constexpr const char* spokenProperty = "velkorSpokenValue";
constexpr const char* shortcutProperty = "velkorShortcut";
constexpr const char* helpProperty = "velkorHelp";
constexpr const char* clickProperty = "velkorClickOnAction";
constexpr const char* pictureProperty = "velkorPicture";
constexpr const char* announcerName = "velkorAnnouncer";

// How long an announcement stays on the bus as a shown notification: a
// screen reader speaks it as it appears; after that it only clutters the
// window's tree.
constexpr int ANNOUNCEMENT_MS = 3000;

QString withoutAccessMark(QString text) {
    // "&&" is a literal ampersand, a single "&" marks the access key.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// A push button, check box or radio button whose every action clicks it.
class ButtonInterface final : public QAccessibleWidget {
  public:
    explicit ButtonInterface(QAbstractButton* button) : QAccessibleWidget(button, roleOf(button)) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            const QString caption = withoutAccessMark(button()->text());
            return caption.isEmpty() ? button()->toolTip() : caption;
        }
        if (t == QAccessible::Accelerator) {
            return widget()->property(shortcutProperty).toString();
        }
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override {
        QAccessible::State st = QAccessibleWidget::state();
        st.checkable = button()->isCheckable();
        st.checked = button()->isChecked();
        st.pressed = button()->isDown();
        if (auto* push = qobject_cast<QPushButton*>(button())) {
            st.defaultButton = push->isDefault();
        }
        return st;
    }

    QStringList actionNames() const override {
        if (!widget()->isEnabled()) {
            return {};
        }
        QStringList names;
        if (button()->isCheckable()) {
            names << QAccessibleActionInterface::toggleAction();
        }
        names << QAccessibleActionInterface::pressAction();
        return names;
    }

    void doAction(const QString& action) override {
        if (!widget()->isEnabled()) {
            return;
        }
        if (action == QAccessibleActionInterface::pressAction() ||
            action == QAccessibleActionInterface::toggleAction()) {
            button()->click();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }

    QStringList keyBindingsForAction(const QString& action) const override {
        const QString keys = widget()->property(shortcutProperty).toString();
        if (keys.isEmpty() || !actionNames().contains(action)) {
            return {};
        }
        return {keys};
    }

  private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }

    static QAccessible::Role roleOf(const QAbstractButton* button) {
        if (button->inherits("QCheckBox")) {
            return QAccessible::CheckBox;
        }
        if (button->inherits("QRadioButton")) {
            return QAccessible::RadioButton;
        }
        return QAccessible::Button;
    }
};

// A level bar (the S-meter): its position as the value, its spoken value
// as the description.
class LevelInterface final : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit LevelInterface(LevelBar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value || t == QAccessible::Description) {
            const QString spoken = widget()->property(spokenProperty).toString();
            if (!spoken.isEmpty()) {
                return spoken;
            }
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State st = QAccessibleWidget::state();
        st.readOnly = true;
        return st;
    }

    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant&) override {} // a reading: the program sets it
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

  private:
    LevelBar* bar() const { return static_cast<LevelBar*>(widget()); }
};

// A drawn picture: an image, read-only, with its text alternative as the
// description.
class PictureInterface final : public QAccessibleWidget {
  public:
    explicit PictureInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::Graphic) {}

    QAccessible::State state() const override {
        QAccessible::State st = QAccessibleWidget::state();
        st.readOnly = true;
        return st;
    }
};

// The window's announcer: an empty, tiny child that is a notification to
// assistive technology, named with the text to say, and shown for a
// moment to say it.
class AnnouncerInterface final : public QAccessibleWidget {
  public:
    explicit AnnouncerInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::Notification) {}
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (!object || !object->isWidgetType()) {
        return nullptr;
    }
    if (auto* bar = dynamic_cast<LevelBar*>(object)) {
        return new LevelInterface(bar); // NOLINT(cppcoreguidelines-owning-memory): Qt owns it
    }
    if (auto* button = qobject_cast<QAbstractButton*>(object);
        button && button->property(clickProperty).toBool()) {
        return new ButtonInterface(button); // NOLINT(cppcoreguidelines-owning-memory)
    }
    auto* w = static_cast<QWidget*>(object);
    if (w->property(pictureProperty).toBool()) {
        return new PictureInterface(w); // NOLINT(cppcoreguidelines-owning-memory)
    }
    if (w->objectName() == QLatin1String(announcerName)) {
        return new AnnouncerInterface(w); // NOLINT(cppcoreguidelines-owning-memory)
    }
    return nullptr;
}

// Drops an interface Qt made for the widget before it was marked, so
// that the next query makes the right one. Only before anything could
// have asked for it: the widgets are marked before they are shown.
void renewInterface(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    if (iface && !dynamic_cast<ButtonInterface*>(iface) && !dynamic_cast<LevelInterface*>(iface) &&
        !dynamic_cast<PictureInterface*>(iface)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
    }
}

void refreshToolTip(QWidget* w) {
    QString tip = w->property(helpProperty).toString();
    const QString keys = w->property(shortcutProperty).toString();
    if (!keys.isEmpty()) {
        tip = tip.isEmpty() ? keys : tip + QStringLiteral(" (") + keys + QLatin1Char(')');
    }
    if (!tip.isEmpty()) {
        w->setToolTip(tip);
    }
}

bool isReading(const QWidget* w) {
    return dynamic_cast<const LevelBar*>(w) != nullptr;
}

// Says the text through the window's announcer, made on first use.
void announce(QWidget* window, const QString& text) {
    auto* announcer =
        window->findChild<QWidget*>(QLatin1String(announcerName), Qt::FindDirectChildrenOnly);
    if (!announcer) {
        announcer =
            new QWidget(window); // NOLINT(cppcoreguidelines-owning-memory): its window owns it
        announcer->setObjectName(QLatin1String(announcerName));
        announcer->setFocusPolicy(Qt::NoFocus);
        announcer->setAttribute(Qt::WA_TransparentForMouseEvents);
        announcer->setGeometry(0, 0, 1, 1);
        announcer->hide();
        auto* timer = new QTimer(announcer); // NOLINT(cppcoreguidelines-owning-memory)
        timer->setObjectName(QStringLiteral("velkorAnnouncementEnd"));
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, announcer, &QWidget::hide);
    }
    announcer->hide();
    announcer->setAccessibleName(text);
    announcer->show();
    if (auto* timer = announcer->findChild<QTimer*>(QStringLiteral("velkorAnnouncementEnd"))) {
        timer->start(ANNOUNCEMENT_MS);
    }
}

// A control with the keyboard says its new spoken value at once. Its
// description has changed as well, but Qt 6.4 sends that change to the
// bus without the new text, and Orca, the screen reader of the Linux
// desktop, then says nothing; a notification it speaks.
void announceIfFocused(QWidget* w, const QString& text) {
    if (w->hasFocus() && !text.isEmpty() && QAccessible::isActive()) {
        announce(w->window(), text);
    }
}

} // namespace

void install() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

void nameControl(QWidget* w, const QString& szName, const QString& szHelp) {
    if (!w) {
        return;
    }
    install();
    if (isReading(w)) {
        renewInterface(w);
    }
    if (!szName.isEmpty()) {
        w->setAccessibleName(szName);
    }
    setHelp(w, szHelp);
}

void setHelp(QWidget* w, const QString& szHelp) {
    if (!w) {
        return;
    }
    w->setProperty(helpProperty, szHelp);
    refreshToolTip(w);
    // The help is the description, unless the control is a reading,
    // whose description is its spoken value.
    if (!szHelp.isEmpty() && spokenValue(w).isEmpty()) {
        w->setAccessibleDescription(szHelp);
    }
}

QString helpOf(const QWidget* w) {
    return w ? w->property(helpProperty).toString() : QString();
}

void setSpokenValue(QWidget* w, const QString& szSpoken, bool bAnnounce) {
    if (!w) {
        return;
    }
    install();
    w->setProperty(spokenProperty, szSpoken);
    if (!isReading(w)) {
        // Qt's own interface reads the description; setting it to a new
        // text tells assistive technology of the change.
        const bool bChanged = w->accessibleDescription() != szSpoken;
        w->setAccessibleDescription(szSpoken);
        if (bChanged) {
            announceIfFocused(w, szSpoken);
        }
    } else if (bAnnounce) {
        announceValue(w);
    }
}

void announceValue(QWidget* w) {
    if (!w || !QAccessible::isActive()) {
        return;
    }
    if (auto* bar = dynamic_cast<LevelBar*>(w)) {
        QAccessibleValueChangeEvent value(w, bar->value());
        QAccessible::updateAccessibility(&value);
    }
    // The spoken value is the description: its change event is what a
    // screen reader following the focus reads.
    QAccessibleEvent description(w, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
    announceIfFocused(w, spokenValue(w));
}

QString spokenValue(const QWidget* w) {
    return w ? w->property(spokenProperty).toString() : QString();
}

void describePicture(QWidget* w, const QString& szName) {
    if (!w) {
        return;
    }
    install();
    w->setProperty(pictureProperty, true);
    renewInterface(w);
    w->setAccessibleName(szName);
}

void actLikeAClick(QAbstractButton* button) {
    if (!button) {
        return;
    }
    install();
    button->setProperty(clickProperty, true);
    renewInterface(button);
}

QKeySequence keySequence(const a11y::Shortcut& shortcut) {
    int keys = 0;
    if (shortcut.modifiers & a11y::MOD_CTRL) {
        keys |= Qt::CTRL;
    }
    if (shortcut.modifiers & a11y::MOD_ALT) {
        keys |= Qt::ALT;
    }
    if (shortcut.modifiers & a11y::MOD_SHIFT) {
        keys |= Qt::SHIFT;
    }
    switch (shortcut.key) {
    case a11y::KEY_PAGEUP:
        return QKeySequence(keys | Qt::Key_PageUp);
    case a11y::KEY_PAGEDOWN:
        return QKeySequence(keys | Qt::Key_PageDown);
    case a11y::KEY_UP:
        return QKeySequence(keys | Qt::Key_Up);
    case a11y::KEY_DOWN:
        return QKeySequence(keys | Qt::Key_Down);
    default:
        return QKeySequence(keys | static_cast<int>(shortcut.key)); // Qt::Key_A .. Key_Z
    }
}

void showShortcut(QWidget* w, const a11y::Shortcut& shortcut) {
    showShortcutText(w, QString::fromStdString(a11y::shortcutText(shortcut)));
}

void showShortcutText(QWidget* w, const QString& szKeys) {
    if (!w) {
        return;
    }
    w->setProperty(shortcutProperty, szKeys);
    refreshToolTip(w);
}

bool highContrast(const QPalette& palette) {
    const auto rgb = [&palette](QPalette::ColorRole role) {
        return static_cast<a11y::Rgb>(palette.color(QPalette::Active, role).rgb() & 0xFFFFFF);
    };
    return a11y::isHighContrast(rgb(QPalette::Window), rgb(QPalette::WindowText),
                                rgb(QPalette::Base), rgb(QPalette::Text));
}

} // namespace accessible
