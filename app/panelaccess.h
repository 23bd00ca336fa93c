// The panel for assistive technology: every control's name and help, the
// shortcut keys with their tooltips, and the readings' spoken values.
#pragma once

#include "access/shortcuts.h"
#include "platform/dialog.h"
#include "platform/types.h"

// Names the panel's controls, shows their shortcuts in their tooltips and
// binds the shortcut keys. Runs at start-up, before the first picture.
void DescribePanel(HWND hDlg);

// The shortcut of an accelerator's command id, FALSE when the id is none.
BOOL shortcutOfCommand(int id, a11y::ShortcutCommand* pCommand);

// The band button of the shown set that a band shortcut tunes to from
// ulFrequency: up, the band with the lowest tuning frequency above it;
// down, the band with the highest below it that does not cover it (so
// from inside a band, down leaves the band). 0 at either end.
int nextBand(DWORD ulFrequency, BOOL bShortwave, bool bUp);
// The mode button after the marked one (AM, CW, SSB, AM); AM when none is.
int nextModeButton(HWND hDlg);

// The spoken values of the readings. The frequency display says the
// frequency and the station on the air there ("7.1 megahertz, Radio
// Example"); the direct-entry field, where the focus stays while the
// listener types and tunes, says the receiver as a whole (the frequency,
// the station, the mode, and "locked"). Each change is told to assistive
// technology at once, except the S-meter's (announceSUnits).
void speakFrequency(DWORD ulValue);
void speakMode(DWORD uMode);
void speakLock(BOOL bLocked);
// After each receiver update: the station on the air at the frequency
// may have changed with the time of day.
void speakStation();
// Tells the receiver again from the direct-entry field, though nothing
// changed: Enter there is always answered, also when the entry did not
// tune (the frequency was tuned already, or out of range).
void repeatReceiver();
// The memory channel and its name ("12, Radio Example"), the step.
void speakMemory(DWORD uValue);
void speakSpeed(DWORD uValue);
void speakSUnits(DWORD uSUnits);
// Tells assistive technology of the S-meter's reading when it has moved to
// another whole S-unit than the one last told, at most once a second.
// Called at every report of the receiver, so a unit reached within the
// second is told once the second is over.
void announceSUnits(DWORD uSUnits);
