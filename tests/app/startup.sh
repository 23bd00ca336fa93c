#!/usr/bin/env bash
# Start-up and shutdown of the built program, run as a child process
# under Xvfb with a time-out: the exit status of every way of closing,
# start-up with VELKOR unset, empty, naming a missing device, and naming
# the emulator, and start-up without any sound output.
# Usage: startup.sh VELKOR VELKOR_SIM
set -euo pipefail
velkor=$(readlink -f "$1") sim=$(readlink -f "$2")
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/velkor-startup.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/velkor.err" ] && sed 's/^/  stderr: /' "$work/velkor.err" >&2
  failures=$((failures + 1))
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
mkdir -m 700 "$work/xdg"
export XDG_RUNTIME_DIR="$work/xdg"
pids+=("$("$top/scripts/null-sink" "$work/pulse")")
export PULSE_SERVER="unix:$work/pulse/pulse.sock"
# shellcheck source=../../scripts/panel-geometry
. "$top/scripts/panel-geometry"

title="Velkor QX-4470 Control Program"
velkor_pid=""
# start [VAR=VALUE...]: starts the program with that environment.
start() {
  (cd "$work" && exec env "$@" timeout 30 "$velkor") 2>"$work/velkor.err" &
  velkor_pid=$!
}
# wait_window NAME: TRUE when a visible window of that name appears in 10 s.
wait_window() {
  timeout 10 xdotool search --sync --onlyvisible --name "$1" >/dev/null 2>&1
}
focus() {
  local w
  w=$(xdotool search --onlyvisible --name "$1" | head -n 1)
  xdotool windowfocus "$w" 2>/dev/null || true
  sleep 0.3
}
# finish EXPECTED WHAT: waits for the program and checks its exit status.
finish() {
  local status=0
  wait "$velkor_pid" || status=$?
  [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"
}
dismiss_unavailable() {
  if wait_window "Device Unavailable"; then
    focus "Device Unavailable"
    xdotool key Return
  else
    fail "$1: no Device Unavailable box"
  fi
}

# Without any sound output: no window stays, one line on stderr, status != 0.
start -u VELKOR PULSE_SERVER=unix:"$work/none.sock"
for _ in $(seq 100); do
  kill -0 "$velkor_pid" 2>/dev/null || break
  if xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; then
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
wait_window "$title" || fail "missing device: no panel"
focus "$title"
grep -q 'velkor-no-such-port' "$work/velkor.err" || fail "missing device: no reason on stderr"
xdotool key Escape
finish 0 "Escape"

# VELKOR empty: the warning box too; then Alt+F4: 0.
start VELKOR=
dismiss_unavailable "empty VELKOR"
wait_window "$title" || fail "empty VELKOR: no panel"
focus "$title"
xdotool key alt+F4
finish 0 "Alt+F4"

# VELKOR unset: COM1, which may or may not exist here; then Exit: 1.
start -u VELKOR
for _ in $(seq 40); do
  xdotool search --onlyvisible --name "Device Unavailable" >/dev/null 2>&1 && break
  xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 && break
  sleep 0.1
done
if xdotool search --onlyvisible --name "Device Unavailable" >/dev/null 2>&1; then
  grep -q '"COM1"' "$work/velkor.err" || fail "unset VELKOR: the reason does not name COM1"
  dismiss_unavailable "unset VELKOR"
fi
wait_window "$title" || fail "unset VELKOR: no panel"
focus "$title"
# shellcheck disable=SC2086
panel_click $EXIT_AT
finish 1 "Exit button"

# The emulator: no warning, polls reach it; then Exit: 1.
"$sim" --log "$work/commands.log" >"$work/sim.out" 2>"$work/sim.err" </dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
slave=$(head -n 1 "$work/sim.out")
start VELKOR="$slave"
wait_window "$title" || fail "emulator: no panel"
xdotool search --onlyvisible --name "Device Unavailable" >/dev/null 2>&1 &&
  fail "emulator: Device Unavailable shown"
sleep 1
grep -q ' ?AF$' "$work/commands.log" || fail "emulator: no poll reached it"
focus "$title"
# shellcheck disable=SC2086
panel_click $EXIT_AT
finish 1 "Exit with the emulator"
grep -q '^velkor:' "$work/velkor.err" && fail "emulator: a complaint on stderr"

[ "$failures" -eq 0 ] && echo "startup: ok"
exit $((failures > 0))
