"""Reads the running panel from the accessibility bus, as a screen reader
does, and works it from there and from the keyboard alone.

Usage: a11y_walk.py COMMAND_LOG FRONT_PANEL_FIFO
Checks, in order: every focusable control that shows has a name and the
role its kind calls for; at the start the focus is in the direct entry,
which says the frequency; the frequency display's spoken value follows a
tuning of the receiver; the Lock check box's own accessible action sends
the lock command and the unlock command; the listener's walk with keys
alone (a typed frequency told from the entry with its station, as a
description change and as a notification of the window, Enter always
answered, the S-meter on request, Ctrl+L told as "locked"); the
Write box, the station window and the band scope (names, roles, the
picture's text alternative after a sweep, a refusal's box, the focus
given back); the readings are read on request (the focus goes to them);
and the end-to-end tuning sequence done with keys alone reaches the
receiver in order, the focus coming back after the "Radio Start" box.
Exits 0 when all hold, 1 with the reasons otherwise.
"""

import subprocess
import sys
import threading
import time

import pyatspi

LOG, FIFO = sys.argv[1], sys.argv[2]
TITLE = "Velkor QX-4470 Control Program"
failures = []


def fail(what):
    print("a11y: FAIL: " + what, file=sys.stderr)
    failures.append(what)


def wait_for(predicate, seconds=10.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            value = predicate()
            if value:
                return value
        except Exception:  # the tree may change while it is read
            pass
        time.sleep(0.1)
    return None


def panel_frame():
    for app in pyatspi.Registry.getDesktop(0):
        if app is None:
            continue
        for window in app:
            if window is not None and window.name == TITLE:
                return app, window
    return None


def descendants(node):
    for child in node:
        if child is None:
            continue
        yield child
        yield from descendants(child)


def state(node, which):
    return node.getState().contains(which)


def by_name(root, name, role=None):
    for node in descendants(root):
        if node.name == name and (role is None or node.getRole() == role):
            return node
    return None


def focused(app):
    for window in app:
        for node in descendants(window):
            if state(node, pyatspi.STATE_FOCUSED):
                return node
    return None


def keys(*names):
    for name in names:
        subprocess.run(["xdotool", "key", "--delay", "60", name], check=True)
        time.sleep(0.25)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "60", text], check=True)


def front_panel(line):
    with open(FIFO, "w") as fifo:
        fifo.write(line + "\n")


def commands_since(mark):
    with open(LOG) as log:
        lines = log.read().splitlines()[mark:]
    return [line.split(None, 1)[1] for line in lines if " " in line]


def log_length():
    with open(LOG) as log:
        return len(log.read().splitlines())


def events_during(kinds, seconds, action, describe=None):
    """What describe(event) gives for each event of kinds seen while action
    runs; by default the (event type, source name) pair."""
    seen = []

    def listener(event):
        try:
            if describe is not None:
                seen.append(describe(event))
            else:
                seen.append((event.type, event.source.name))
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(listener, *kinds)
    threading.Timer(seconds, pyatspi.Registry.stop).start()
    threading.Timer(0.3, action).start()
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(listener, *kinds)
    return seen


def window_named(app, title):
    for window in app:
        if window is not None and window.name == title:
            return window
    return None


R = pyatspi
# The roles a control that takes the keyboard may have, in any window.
SENSIBLE_ROLES = {R.ROLE_PUSH_BUTTON, R.ROLE_CHECK_BOX, R.ROLE_RADIO_BUTTON, R.ROLE_TEXT,
                  R.ROLE_ENTRY, R.ROLE_SPIN_BUTTON, R.ROLE_COMBO_BOX, R.ROLE_TABLE,
                  R.ROLE_LIST, R.ROLE_LIST_ITEM, R.ROLE_TABLE_CELL, R.ROLE_IMAGE,
                  R.ROLE_LABEL}  # a box's text, which the keyboard can select


def check_focusables(window, where):
    """Every focusable control that shows has a name and a sensible role;
    the number of them."""
    count = 0
    for node in descendants(window):
        if not (state(node, R.STATE_FOCUSABLE) and state(node, R.STATE_SHOWING)):
            continue
        # Cells and items are named by their text; an empty cell is no control.
        if node.getRole() in (R.ROLE_TABLE_CELL, R.ROLE_LIST_ITEM):
            continue
        count += 1
        if not node.name:
            fail("%s: a focusable %s without a name" % (where, node.getRoleName()))
        if node.getRole() not in SENSIBLE_ROLES:
            fail("%s: '%s' is focusable with the role %s" % (where, node.name, node.getRoleName()))
    return count


def tab_to(app, name, back=False, limit=60):
    """Tab (or Shift+Tab) until the control named name has the focus;
    FALSE when it never does."""
    for _ in range(limit):
        node = focused(app)
        if node is not None and node.name == name:
            return True
        keys("shift+Tab" if back else "Tab")
    return False


def operator_commands(mark):
    """The operator's commands after mark, without the receiver polls."""
    return [c for c in commands_since(mark) if c.startswith(("*", "?RMC", "XX"))]


found = wait_for(panel_frame, 20)
if not found:
    print("a11y: FAIL: the panel is not on the accessibility bus", file=sys.stderr)
    sys.exit(1)
app, frame = found

# -- names and roles ---------------------------------------------------------
expected = {
    "Exit": R.ROLE_PUSH_BUTTON, "Restart": R.ROLE_PUSH_BUTTON,
    "Digital audio": R.ROLE_CHECK_BOX, "Lock": R.ROLE_CHECK_BOX,
    "Extended tuning": R.ROLE_CHECK_BOX, "S-meter": R.ROLE_PROGRESS_BAR,
    "AM": R.ROLE_RADIO_BUTTON, "CW": R.ROLE_RADIO_BUTTON, "SSB": R.ROLE_RADIO_BUTTON,
    "Memory channel": R.ROLE_TEXT, "Tuning step": R.ROLE_TEXT, "Direct entry": R.ROLE_TEXT,
    "Read": R.ROLE_PUSH_BUTTON, "Write": R.ROLE_PUSH_BUTTON, "Point": R.ROLE_PUSH_BUTTON,
    "Clear": R.ROLE_PUSH_BUTTON, "Memory": R.ROLE_PUSH_BUTTON, "Speed": R.ROLE_PUSH_BUTTON,
    "40 metre band": R.ROLE_RADIO_BUTTON, "Port": R.ROLE_TEXT,
}
for digit in "0123456789":
    expected[digit] = R.ROLE_PUSH_BUTTON
focusable_roles = {R.ROLE_PUSH_BUTTON, R.ROLE_CHECK_BOX, R.ROLE_RADIO_BUTTON, R.ROLE_TEXT}
for name, role in expected.items():
    if by_name(frame, name, role) is None:
        fail("no %s named '%s'" % (role, name))
# The frequency display and the Frequency key share the name.
for role in (R.ROLE_TEXT, R.ROLE_PUSH_BUTTON):
    if by_name(frame, "Frequency", role) is None:
        fail("no %s named 'Frequency'" % role)
focusables = 0
for node in descendants(frame):
    if not (state(node, R.STATE_FOCUSABLE) and state(node, R.STATE_SHOWING)):
        continue
    focusables += 1
    if not node.name:
        fail("a focusable %s without a name" % node.getRoleName())
    if node.getRole() not in focusable_roles:
        fail("'%s' is focusable with the role %s" % (node.name, node.getRoleName()))
if focusables < 40:
    fail("only %d focusable controls found" % focusables)

# -- the start: the focus is where the listener types, and says the frequency
display = by_name(frame, "Frequency", R.ROLE_TEXT)
node = wait_for(lambda: focused(app), 5)
if node is None or node.name != "Direct entry":
    fail("at the start the focus is on '%s'" % (node.name if node else None))
elif not (display.description and node.description.startswith(display.description)):
    fail("at the start the direct entry says '%s', the display '%s'"
         % (node.description, display.description))

# -- the frequency's spoken value follows the receiver ----------------------
front_panel("tune 7050000")
if not wait_for(lambda: display.description == "7.05 megahertz"):
    fail("after 'tune 7050000' the frequency reads '%s'" % display.description)
meter = by_name(frame, "S-meter")
if meter is not None:
    if not meter.description.startswith("S"):
        fail("the S-meter reads '%s'" % meter.description)
    value = meter.queryValue()
    if not (value.minimumValue == 0 and value.maximumValue == 100):
        fail("the S-meter's range is %s .. %s" % (value.minimumValue, value.maximumValue))

# -- the Lock check box's own action ----------------------------------------
lock = by_name(frame, "Lock", R.ROLE_CHECK_BOX)
action = lock.queryAction()
names = [action.getName(i).lower() for i in range(action.nActions)]
mark = log_length()
for wanted in ("toggle", "press"):
    if wanted not in names:
        fail("the Lock box has no '%s' action (%s)" % (wanted, names))
        continue
    action.doAction(names.index(wanted))
    expected_command = "*AL" if wanted == "toggle" else "*AU"
    if not wait_for(lambda: expected_command in operator_commands(mark), 5):
        fail("the Lock box's '%s' action sent no %s (got %s)"
             % (wanted, expected_command, operator_commands(mark)))
    checked = wanted == "toggle"
    if not wait_for(lambda: state(lock, R.STATE_CHECKED) == checked, 3):
        fail("after '%s' the Lock box is %s" % (wanted, "clear" if checked else "marked"))

# -- announcements --------------------------------------------------------------
# A new frequency is told once; the S-meter, moving through eight S-units
# in just over a second, at most once a second: its first unit at once,
# the one it ends on once the second is over.
def move():
    front_panel("tune 9000000")
    for units in range(1, 9):
        front_panel("signal %d" % units)
        time.sleep(0.15)


seen = events_during(["object:property-change:accessible-description",
                      "object:property-change:accessible-value"], 2.6, move)
told = [t for t, name in seen if name == "Frequency"]
if told != ["object:property-change:accessible-description"]:
    fail("a new frequency was told as %s" % told)
meter_told = [t for t, name in seen
              if name == "S-meter" and t.endswith("accessible-value")]
if not 2 <= len(meter_told) <= 3:  # the first unit, then the last once a second is over
    fail("the S-meter was told %d times in 2.6 s" % len(meter_told))
front_panel("signal auto")

# -- the listener's walk ------------------------------------------------------
# Keys only: a typed frequency is heard with its station from the field
# typed in, the S-meter is read on request, and Ctrl+L locks, which the
# field then says. The entry's description changes; as Qt 6.4 sends that
# change without its text, which Orca then does not speak, the panel also
# shows the new words for a moment as a notification, which Orca speaks.
DESCRIPTION = "object:property-change:accessible-description"
SHOWING = "object:state-changed:showing"


def told_event(event):
    source = event.source
    source.clearCache()  # the announcer's name changes between announcements
    return (event.type, source.getRoleName(), source.name, source.description, event.detail1)


def described(name, seen):
    return [desc for t, _, source, desc, _ in seen if t == DESCRIPTION and source == name]


def notified(seen):
    return [name for t, role, name, _, shown in seen
            if t == SHOWING and role == "notification" and shown]


keys("ctrl+d")
entry = wait_for(lambda: focused(app), 3)
if entry is None or entry.name != "Direct entry":
    fail("Ctrl+D: the focus is on '%s'" % (entry.name if entry else None))
type_text("7100000")
seen = events_during([DESCRIPTION, SHOWING], 3.0, lambda: keys("Return"), describe=told_event)
told = described("Direct entry", seen)
if len(told) != 1 or not told[0].startswith("7.1 megahertz, Radio Example"):
    fail("a typed 7100000 was told from the entry as %s (events %s)" % (told, seen))
said = notified(seen)
if len(said) != 1 or not said[0].startswith("7.1 megahertz, Radio Example"):
    fail("a typed 7100000 was announced as %s (events %s)" % (said, seen))
if not wait_for(lambda: display.description == "7.1 megahertz, Radio Example", 3):
    fail("after the typed 7100000 the display reads '%s'" % display.description)
node = focused(app)
if node is None or node.name != "Direct entry":
    fail("after Enter the focus is on '%s'" % (node.name if node else None))
# The same frequency again: nothing changes, and Enter is still answered.
type_text("7100000")
seen = events_during([DESCRIPTION, SHOWING], 2.5, lambda: keys("Return"), describe=told_event)
if len(described("Direct entry", seen)) != 1 or len(notified(seen)) != 1:
    fail("Enter on the frequency tuned already was told %s" % seen)
keys("ctrl+s")
node = wait_for(lambda: focused(app), 3)
if node is None or node.name != "S-meter" or not node.description.startswith("S"):
    fail("Ctrl+S: the focus is on '%s' saying '%s'"
         % (node.name if node else None, node.description if node else None))
mark = log_length()
keys("ctrl+l")
if not wait_for(lambda: "*AL" in operator_commands(mark), 5):
    fail("Ctrl+L sent no *AL (got %s)" % operator_commands(mark))
# The receiver's report of the lock brings the focus back to the field,
# which says it.
node = wait_for(lambda: (lambda n: n if n is not None and n.name == "Direct entry"
                         and n.description.endswith(", locked") else None)(focused(app)), 5)
if node is None:
    node = focused(app)
    fail("after Ctrl+L the focus is on '%s' saying '%s'"
         % (node.name if node else None, node.description if node else None))
keys("ctrl+l")
if not wait_for(lambda: not entry.description.endswith(", locked"), 5):
    fail("after the second Ctrl+L the entry still says '%s'" % entry.description)

# -- a box of the panel -------------------------------------------------------
# Write asks first; its box names its buttons, Escape cancels it, and the
# keyboard is back in the direct entry.
mark = log_length()
if not tab_to(app, "Write"):
    fail("Tab never reached Write")
keys("space")
box = wait_for(lambda: window_named(app, "Memory Write"), 10)
if box is None:
    fail("no Memory Write box after Write")
else:
    time.sleep(0.3)
    if box.description != "Are you sure?":
        fail("the Memory Write box describes itself as '%s'" % box.description)
    check_focusables(box, "Memory Write box")
    names = sorted(n.name for n in descendants(box) if n.getRole() == R.ROLE_PUSH_BUTTON)
    if names != ["Cancel", "OK"]:
        fail("the Memory Write box's buttons are %s" % names)
    keys("Escape")
    if not wait_for(lambda: window_named(app, "Memory Write") is None, 5):
        fail("Escape left the Memory Write box open")
    node = wait_for(lambda: focused(app), 3)
    if node is None or node.name != "Direct entry":
        fail("after the Memory Write box the focus is on '%s'" % (node.name if node else None))
    if any(c.startswith("*RMW") or c.startswith("*M") for c in operator_commands(mark)):
        fail("a cancelled Write wrote: %s" % operator_commands(mark))

# -- the station window ------------------------------------------------------
keys("ctrl+t")
stations = wait_for(lambda: window_named(app, "Stations"), 10)
if stations is None:
    fail("Ctrl+T opened no Stations window")
else:
    time.sleep(0.5)
    node = wait_for(lambda: focused(app), 3)
    if node is None or node.name != "Search":
        fail("the Stations window opened with the focus on '%s'" % (node.name if node else None))
    n = check_focusables(stations, "Stations")
    if n < 6:
        fail("only %d focusable controls in the Stations window" % n)
    table = by_name(stations, "Station list", R.ROLE_TABLE)
    if table is None:
        fail("the Stations window has no table named 'Station list'")
    elif not any("Radio Example" in (c.name or "") for c in descendants(table)):
        fail("the station list does not read 'Radio Example'")
    keys("Escape")
    if not wait_for(lambda: window_named(app, "Stations") is None, 5):
        fail("Escape left the Stations window open")

# -- the band scope ------------------------------------------------------------
# Its picture is an image whose text alternative is the list of the
# strongest signals of the last sweep.
subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE, "windowfocus"],
               check=False)  # the desktop gives the panel the keyboard back
time.sleep(0.3)
keys("ctrl+b")
scope = wait_for(lambda: window_named(app, "Band Scope"), 10)
if scope is None:
    fail("Ctrl+B opened no Band Scope window")
else:
    time.sleep(0.5)
    n = check_focusables(scope, "Band Scope")
    if n < 12:
        fail("only %d focusable controls in the Band Scope window" % n)
    picture = by_name(scope, "Band scope picture")
    strongest = by_name(scope, "Strongest signals of the last sweep", R.ROLE_LIST)
    if picture is None or picture.getRole() != R.ROLE_IMAGE:
        fail("the band scope's picture is %s"
             % (picture.getRoleName() if picture else "missing"))
    if strongest is None:
        fail("no list of the strongest signals")
    # A narrow sweep with a strong signal, started from the keyboard.
    for name, value in (("Start kHz", "7095"), ("Stop kHz", "7105"), ("Step kHz", "5")):
        if not tab_to(app, name):
            fail("Tab never reached '%s'" % name)
        keys("ctrl+a")
        type_text(value)
    front_panel("signal 9")
    if not tab_to(app, "Sweep"):
        fail("Tab never reached Sweep")
    keys("space")
    if strongest is not None and not wait_for(lambda: strongest.childCount > 0, 20):
        fail("no signal listed after a sweep")
    elif strongest is not None:
        first = strongest[0].name
        if "7095 kHz" not in first or "S9" not in first:
            fail("the strongest signal reads '%s'" % first)
        if picture is not None and first.split()[0] not in picture.description:
            fail("the picture's text alternative is '%s'" % picture.description)
    front_panel("signal auto")
    # A refused range: the box names its button, and the keyboard is back
    # on Sweep once it closes.
    tab_to(app, "Start kHz", back=True)
    keys("ctrl+a", "BackSpace")
    tab_to(app, "Sweep")
    keys("space")
    box = wait_for(lambda: next((w for w in app if w is not None and w.name == "Band Scope"
                                 and w.getRole() in (R.ROLE_ALERT, R.ROLE_DIALOG)), None), 10)
    if box is None:
        fail("an empty start gave no box")
    else:
        time.sleep(0.3)
        if not box.description:
            fail("the Band Scope box has no description")
        check_focusables(box, "Band Scope box")
        keys("Return")
        node = wait_for(lambda: (lambda n: n if n is not None and n.name == "Sweep"
                                 else None)(focused(app)), 5)
        if node is None:
            node = focused(app)
            fail("after the Band Scope box the focus is on '%s'" % (node.name if node else None))
    keys("Escape")
    if not wait_for(lambda: len([w for w in app if w is not None and w.name == "Band Scope"])
                    == 0, 5):
        fail("Escape left the Band Scope window open")
subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE, "windowfocus"],
               check=False)
time.sleep(0.3)

# -- keyboard alone ------------------------------------------------------------
front_panel("tune 15000000")
if not wait_for(lambda: display.description == "15 megahertz"):
    fail("after 'tune 15000000' the frequency reads '%s'" % display.description)
time.sleep(0.5)

# Readings on request: the focus goes to them, so a screen reader reads them.
keys("ctrl+f")
node = wait_for(lambda: focused(app), 3)
if node is None or node.name != "Frequency" or node.description != "15 megahertz":
    fail("Ctrl+F: the focus is on '%s'" % (node.name if node else None))
keys("ctrl+s")
node = wait_for(lambda: focused(app), 3)
if node is None or node.name != "S-meter":
    fail("Ctrl+S: the focus is on '%s'" % (node.name if node else None))

# The sequence of the end-to-end test: Lock, the 40m band (three bands
# down from 15 MHz), one step up, a typed frequency with Enter, Restart
# (reached with Shift+Tab), Enable.
mark = log_length()
keys("ctrl+l", "ctrl+Next", "ctrl+Next", "ctrl+Next", "ctrl+Up", "ctrl+d")
node = focused(app)
if node is None or node.name != "Direct entry":
    fail("Ctrl+D: the focus is on '%s'" % (node.name if node else None))
type_text("7100000")
keys("Return")
for _ in range(12):
    node = focused(app)
    if node is not None and node.name == "Restart":
        break
    keys("shift+Tab")
else:
    fail("Shift+Tab never reached Restart")
keys("space")
box = wait_for(lambda: by_name(app, "Radio Start"), 10)
if box is None:
    fail("no Radio Start box after Restart")
else:
    time.sleep(0.3)
    # The box reads out its text, and its button has a name.
    if not box.description.startswith("Connected on "):
        fail("the Radio Start box describes itself as '%s'" % box.description)
    for node in descendants(box):
        if state(node, R.STATE_FOCUSABLE) and not node.name:
            fail("a focusable %s of the box without a name" % node.getRoleName())
    keys("Return")
    if not wait_for(lambda: by_name(app, "Radio Start") is None, 5):
        fail("the Radio Start box stayed open")
    # Restart sends the focus to the direct-entry field; the box's
    # closing gives it back there.
    node = wait_for(lambda: focused(app), 3)
    if node is None or node.name != "Direct entry":
        fail("after the box the focus is on '%s', not back on the direct entry"
             % (node.name if node else None))
keys("ctrl+e")
time.sleep(1.5)
want = ["*AL", "*AF14000000", "*AF10100000", "*AF7000000", "*AF7002500", "*AF7100000",
        "XX", "?RMC"]
got = []
for command in operator_commands(mark):
    if command not in got:
        got.append(command)
if got[:len(want)] != want:
    fail("keyboard: commands %s, want %s" % (got, want))

if failures:
    sys.exit(1)
print("a11y: ok (%d focusable controls named; S-meter told %d times in 2.6 s; keyboard: %s)"
      % (focusables, len(meter_told), " ".join(want)))
