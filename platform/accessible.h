// Accessibility of the program's Qt windows: what a screen reader is told
// about each control, through the desktop's accessibility bus.
//
// Qt describes its standard widgets itself; these helpers add what it
// cannot know. Every window names its controls with nameControl (a
// button's caption names it already, but a field, a bar or a picture
// button needs a name), gives its readings spoken values with
// setSpokenValue, and shows its shortcut keys (from access/shortcuts.h)
// with showShortcut. The words themselves come from access/spoken.h.
#pragma once

#include "access/shortcuts.h"

#include <QAccessible>
#include <QKeySequence>
#include <QString>

class QAbstractButton;
class QPalette;
class QWidget;

namespace accessible {

// Makes the program's accessible interfaces known to Qt; once, before the
// first window is built (the dialog layer does it when it starts Qt).
void install();

// Names a control for screen readers: szName says what it is
// ("Frequency", "Lock"), szHelp what it does; the help is its tooltip
// too. An empty name keeps the one Qt finds (a button's caption).
void nameControl(QWidget* w, const QString& szName, const QString& szHelp = {});
// Only the help (and so the tooltip); helpOf reads it back.
void setHelp(QWidget* w, const QString& szHelp);
QString helpOf(const QWidget* w);

// A reading: its spoken value ("7.05 megahertz", "S5"), which a screen
// reader reads as the control's description, behind the number it shows.
// bAnnounce sends the change to assistive technology at once, so a
// screen reader whose focus is on the control says the new value; a
// reading that changes many times a second is announced only now and
// then (a11y::ChangeThrottle) and read on request otherwise. While the
// control has the keyboard, a new value is also shown for a moment as a
// notification of its window (role notification, named with the value),
// which screen readers speak as it appears.
void setSpokenValue(QWidget* w, const QString& szSpoken, bool bAnnounce = true);
// Sends the reading's current spoken value again: a screen reader whose
// focus is on the control says it, even when it has not changed.
void announceValue(QWidget* w);
// The spoken value last set, or empty.
QString spokenValue(const QWidget* w);

// A drawn picture (the band scope's): an image to assistive technology,
// named szName; its text alternative is its description
// (setAccessibleDescription), which the window keeps up to date.
void describePicture(QWidget* w, const QString& szName);

// Every accessible action of the button (press, toggle) clicks it, so
// whatever a mouse click does happens: Qt's own toggle action would only
// change a check box's mark without the click that the program acts on.
void actLikeAClick(QAbstractButton* button);

// The keys of a shortcut, as Qt binds them.
QKeySequence keySequence(const a11y::Shortcut& shortcut);
// Shows the shortcut in the control's tooltip ("Lock (Ctrl+L)") and tells
// assistive technology about it.
void showShortcut(QWidget* w, const a11y::Shortcut& shortcut);
// The same with the keys as text ("Ctrl+L").
void showShortcutText(QWidget* w, const QString& szKeys);

// TRUE when the palette is a high-contrast one (access/contrast.h): the
// program's own colours then give way to the palette's.
bool highContrast(const QPalette& palette);

} // namespace accessible
