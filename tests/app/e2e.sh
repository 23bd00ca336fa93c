#!/usr/bin/env bash
# End to end: the built panel under Xvfb against the receiver emulator,
# clicked at the panel's fixed pixel positions. Lock, the 40m band
# button, the frequency spinner's upper arrow, a typed frequency with
# Enter, Restart and Enable must reach the emulator in that order, the
# receiver's start announcement must bring up the "Radio Start" box, and
# Exit must end the program with status 1. Keeps a screenshot and the emulator's
# command log in ARTIFACTS.
# Usage: e2e.sh VELKOR VELKOR_SIM VELKOR_DIALOG_GEOMETRY ARTIFACTS
set -euo pipefail
velkor=$(readlink -f "$1") sim=$(readlink -f "$2") geometry=$(readlink -f "$3") artifacts=$4
top=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../../scripts/panel-session
. "$top/scripts/panel-session"
# shellcheck source=../../scripts/panel-geometry
. "$top/scripts/panel-geometry" "$geometry"
mkdir -p "$artifacts"
fail() {
  echo "e2e: $*" >&2
  for f in sim.err velkor.err commands.log; do
    [ -f "$work/$f" ] && { echo "--- $f" >&2; tail -n 40 "$work/$f" >&2; }
  done
  exit 1
}

session_start
session_sim "$sim"
session_panel "$velkor" VELKOR="$slave"
session_wait_window "$panel_title" || fail "the panel did not appear"
session_focus "$panel_title"
sleep 1 # the first polls answered

# shellcheck disable=SC2086
{
  panel_click $LOCK_AT; sleep 0.5
  panel_click $BAND40_AT; sleep 0.5
  panel_click $SPINFREQ_UP_AT; sleep 0.5
  panel_click $DIRECT_AT; sleep 0.2
  xdotool type --delay 40 7100000; xdotool key Return; sleep 0.5
  panel_click $RESTART_AT
  session_wait_window "Radio Start" || fail "no Radio Start box after Restart"
  session_focus "Radio Start"
  xdotool key Return
  session_focus "$panel_title"
  panel_click $ENABLE_AT; sleep 1.5
}
window=$(xdotool search --onlyvisible --name "$panel_title" | head -n 1)
import -window "$window" "$artifacts/e2e-panel.png" 2>/dev/null ||
  xwd -id "$window" -silent >"$artifacts/e2e-panel.xwd"
# shellcheck disable=SC2086
panel_click $EXIT_AT
for _ in $(seq 100); do kill -0 "$velkor_pid" 2>/dev/null || break; sleep 0.05; done
status=0
wait "$velkor_pid" || status=$?
cp "$work/commands.log" "$artifacts/e2e-commands.log"
[ "$status" -eq 1 ] || fail "exit status $status after Exit, expected 1"

# The operator's commands, in order, without the receiver polls.
got=$(awk '{print $2}' "$work/commands.log" |
  grep -E '^(\*|\?RMC|XX)' | awk '!seen[$0]++' | head -n 6 | tr '\n' ' ')
want="*AL *AF7000000 *AF7002500 *AF7100000 XX ?RMC "
[ "$got" = "$want" ] || fail "commands: got '$got', want '$want'"
echo "e2e: ok ($got)"
