#!/usr/bin/env bash
# Start-up and shutdown of the built program, run as a child process
# under Xvfb with a time-out: the exit status of every way of closing,
# start-up with VELKOR unset, empty, naming a missing device, and naming
# the emulator, and start-up without any sound output; and the command
# line (--help, --version, an unknown option) and a missing display, which
# end the program before any window or port opens.
# Usage: startup.sh VELKOR VELKOR_SIM VELKOR_DIALOG_GEOMETRY
set -euo pipefail
velkor=$(readlink -f "$1") sim=$(readlink -f "$2") geometry=$(readlink -f "$3")
top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/panel-session
. "$top/scripts/panel-session"
# shellcheck source=../../scripts/panel-geometry
. "$top/scripts/panel-geometry" "$geometry"
failures=0
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/velkor.err" ] && sed 's/^/  stderr: /' "$work/velkor.err" >&2
  failures=$((failures + 1))
}
panel_timeout=30
start() { session_panel "$velkor" "$@"; }
# finish EXPECTED WHAT: waits for the program and checks its exit status.
finish() {
  local status=0
  wait "$velkor_pid" || status=$?
  [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"
}
dismiss_unavailable() {
  if session_wait_window "Device Unavailable"; then
    session_focus "Device Unavailable"
    xdotool key Return
  else
    fail "$1: no Device Unavailable box (program $(kill -0 "$velkor_pid" 2>/dev/null &&
      echo running || echo ended); windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' ','))"
  fi
}
shows() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }

# The command line, run without a display: a program that went on to
# its window would stop at the display check with status 2 instead.
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$velkor" "$@"; }
status=0
out=$(headless --help 2>&1) || status=$?
[ "$status" -eq 0 ] || fail "--help: exit status $status"
for word in Usage: --version VELKOR VELKOR_REMOTE VELKOR_RECORDINGS; do
  grep -q -- "$word" <<<"$out" || fail "--help: no $word"
done
status=0
out=$(headless --version 2>&1) || status=$?
[ "$status" -eq 0 ] && grep -Eqx 'velkor [0-9]+\.[0-9]+\.[0-9]+' <<<"$out" || fail "--version: '$out' ($status)"
status=0
out=$(headless --no-such-option 2>/dev/null) || status=$?
err=$(headless --no-such-option 2>&1 >/dev/null) || true
[ "$status" -eq 2 ] && [ -z "$out" ] || fail "unknown option: exit status $status, stdout '$out'"
grep -q 'unknown option "--no-such-option"' <<<"$err" && grep -q '^Usage:' <<<"$err" ||
  fail "unknown option: stderr '$err'"
# No display at all: one line that says so, status 2, not the toolkit's abort.
status=0
err=$(headless 2>&1) || status=$?
[ "$status" -eq 2 ] || fail "no display: exit status $status"
[ "$(wc -l <<<"$err")" -eq 1 ] && grep -q '^velkor: no display' <<<"$err" || fail "no display: said '$err'"

session_start

# Without any sound output: no window stays, one line on stderr, status != 0.
start -u VELKOR PULSE_SERVER=unix:"$work/none.sock"
for _ in $(seq 100); do
  kill -0 "$velkor_pid" 2>/dev/null || break
  if shows "$panel_title"; then
    fail "no sound: the panel is on screen"
    kill "$velkor_pid"
    break
  fi
  sleep 0.1
done
status=0
wait "$velkor_pid" || status=$?
[ "$status" -ne 0 ] && [ "$status" -lt 124 ] || fail "no sound: exit status $status"
grep -q "^velkor: .*audio output" "$work/velkor.err" || fail "no sound: nothing said on stderr"
[ "$(grep -c '^velkor:' "$work/velkor.err")" -eq 1 ] || fail "no sound: not exactly one line"

# A missing device: the warning box, a reason on stderr, then Escape: 0.
start VELKOR=/dev/velkor-no-such-port
dismiss_unavailable "missing device"
session_wait_window "$panel_title" || fail "missing device: no panel"
session_focus "$panel_title"
grep -q '^velkor: .*velkor-no-such-port.*no such device' "$work/velkor.err" ||
  fail "missing device: no reason on stderr"
xdotool key Escape
finish 0 "Escape"

# VELKOR empty: the warning box too; then Alt+F4: 0.
start VELKOR=
dismiss_unavailable "empty VELKOR"
session_wait_window "$panel_title" || fail "empty VELKOR: no panel"
session_focus "$panel_title"
xdotool key alt+F4
finish 0 "Alt+F4"

# VELKOR unset: COM1, that is /dev/ttyS0. Run only where the machine has
# no such port: a test must not write to a real serial line (often the
# console); the program then warns about COM1. Exit: 1.
if [ ! -e /dev/ttyS0 ]; then
  start -u VELKOR
  dismiss_unavailable "unset VELKOR"
  grep -q '"COM1"' "$work/velkor.err" || fail "unset VELKOR: the reason does not name COM1"
  session_wait_window "$panel_title" || fail "unset VELKOR: no panel"
  session_focus "$panel_title"
  # shellcheck disable=SC2086
  panel_click $EXIT_AT
  finish 1 "Exit button"
else
  echo "startup: VELKOR unset not run (this machine has /dev/ttyS0)"
fi

# The emulator: no warning, polls reach it; then Exit: 1.
session_sim "$sim"
start VELKOR="$slave"
session_wait_window "$panel_title" || fail "emulator: no panel"
shows "Device Unavailable" && fail "emulator: Device Unavailable shown"
sleep 1
grep -q ' ?AF$' "$work/commands.log" || fail "emulator: no poll reached it"
session_focus "$panel_title"
# shellcheck disable=SC2086
panel_click $EXIT_AT
finish 1 "Exit with the emulator"
grep -q '^velkor:' "$work/velkor.err" && fail "emulator: a complaint on stderr"

[ "$failures" -eq 0 ] && echo "startup: ok"
exit $((failures > 0))
