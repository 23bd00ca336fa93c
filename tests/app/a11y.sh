#!/usr/bin/env bash
# The panel as a screen reader meets it: the built program under Xvfb
# against the emulator, with a session bus and the accessibility bus,
# read and worked through the bus by tests/app/a11y_walk.py. Skipped
# (status 77) with the reason when the buses cannot be started.
# Usage: a11y.sh VELKOR VELKOR_SIM VELKOR_STATIONS
set -euo pipefail
velkor=$(readlink -f "$1") sim=$(readlink -f "$2") stations=$(readlink -f "$3")
top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/panel-session
. "$top/scripts/panel-session"
skip() {
  echo "a11y: skipped: $*"
  exit 77
}
python=/usr/bin/python3 # Debian's, which has pyatspi
"$python" -c 'import pyatspi' 2>/dev/null || skip "no pyatspi (Debian python3-pyatspi)"
command -v dbus-launch >/dev/null || skip "no dbus-launch (Debian dbus-x11)"
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "no accessibility bus (Debian at-spi2-core)"

session_start
# A private session bus; the accessibility bus is started on it as a
# desktop starts it, by asking for it.
eval "$(dbus-launch --sh-syntax)" || skip "the session bus did not start"
session_pids+=("$DBUS_SESSION_BUS_PID")
bus_up=false
for _ in $(seq 50); do
  if dbus-send --session --dest=org.a11y.Bus --print-reply /org/a11y/bus \
    org.a11y.Bus.GetAddress >/dev/null 2>&1; then
    bus_up=true
    break
  fi
  sleep 0.2
done
$bus_up || skip "the accessibility bus did not start"

# A station on the air all day at 7.1 MHz, for the listener to hear named.
printf '7100;0000-2400;;XYZ;Radio Example;E;Eu;;1;;\r\n' >"$work/sked.csv"
"$stations" import "$work/sked.csv" >/dev/null

session_sim "$sim" --panel "$work/front-panel"
session_panel "$velkor" VELKOR="$slave" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
session_wait_window "$panel_title" || { cat "$work/velkor.err" >&2; exit 1; }
session_focus "$panel_title"
sleep 1 # the first polls answered

status=0
timeout 120 "$python" "$top/tests/app/a11y_walk.py" "$work/commands.log" "$work/front-panel" ||
  status=$?
if [ "$status" -ne 0 ]; then
  echo "--- velkor.err" >&2
  tail -n 20 "$work/velkor.err" >&2
  echo "--- operator commands" >&2
  awk '$2 !~ /^\?(AF|RMM|RMI|AU|S)$/' "$work/commands.log" | tail -n 30 >&2
  exit 1
fi
xdotool key Escape
for _ in $(seq 100); do kill -0 "$velkor_pid" 2>/dev/null || break; sleep 0.05; done
exit_status=0
wait "$velkor_pid" || exit_status=$?
[ "$exit_status" -eq 0 ] || { echo "a11y: exit status $exit_status after Escape" >&2; exit 1; }
