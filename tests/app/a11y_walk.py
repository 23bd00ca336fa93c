"""Reads the running panel from the accessibility bus, as a screen reader
does, and works it from there and from the keyboard alone.

Usage: a11y_walk.py COMMAND_LOG FRONT_PANEL_FIFO
Checks, in order: every focusable control that shows has a name and the
role its kind calls for; the frequency display's spoken value follows a
tuning of the receiver; the Lock check box's own accessible action sends
the lock command and the unlock command; the readings are read on request
(the focus goes to them); and the end-to-end tuning sequence done with
keys alone reaches the receiver in order, the focus coming back after the
"Radio Start" box. Exits 0 when all hold, 1 with the reasons otherwise.
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


def events_during(kinds, seconds, action):
    """The (event type, source name) pairs of kinds seen while action runs."""
    seen = []

    def listener(event):
        try:
            seen.append((event.type, event.source.name))
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(listener, *kinds)
    threading.Timer(seconds, pyatspi.Registry.stop).start()
    threading.Timer(0.3, action).start()
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(listener, *kinds)
    return seen


def operator_commands(mark):
    """The operator's commands after mark, without the receiver polls."""
    return [c for c in commands_since(mark) if c.startswith(("*", "?RMC", "XX"))]


found = wait_for(panel_frame, 20)
if not found:
    print("a11y: FAIL: the panel is not on the accessibility bus", file=sys.stderr)
    sys.exit(1)
app, frame = found

# -- names and roles ---------------------------------------------------------
R = pyatspi
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

# -- the frequency's spoken value follows the receiver ----------------------
display = by_name(frame, "Frequency", R.ROLE_TEXT)
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
