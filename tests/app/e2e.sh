#!/usr/bin/env bash
# End to end: the built panel under Xvfb against the receiver emulator,
# clicked at the panel's fixed pixel positions. Lock, the 40m band
# button, the frequency spinner's upper arrow, a typed frequency with
# Enter, and Enable must reach the emulator in that order, and Exit must
# end the program with status 1. Keeps a screenshot in ARTIFACTS.
# Usage: e2e.sh VELKOR VELKOR_SIM ARTIFACTS
set -euo pipefail
velkor=$(readlink -f "$1") sim=$(readlink -f "$2") artifacts=$3
top=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$artifacts"
work=$(mktemp -d "${TMPDIR:-/tmp}/velkor-e2e.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "e2e: $*" >&2
  for f in sim.err velkor.err commands.log; do
    [ -f "$work/$f" ] && { echo "--- $f" >&2; tail -n 40 "$work/$f" >&2; }
  done
  exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.err" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
mkdir -m 700 "$work/xdg"
export XDG_RUNTIME_DIR="$work/xdg"

pids+=("$("$top/scripts/null-sink" "$work/pulse")")
export PULSE_SERVER="unix:$work/pulse/pulse.sock"

"$sim" --log "$work/commands.log" >"$work/sim.out" 2>"$work/sim.err" </dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
slave=$(head -n 1 "$work/sim.out")
[ -n "$slave" ] || fail "the emulator did not start"

mkdir -p "$work/panel"
(cd "$work/panel" && VELKOR="$slave" exec "$velkor") 2>"$work/velkor.err" &
velkor_pid=$!
pids+=("$velkor_pid")
xdotool search --sync --onlyvisible --name "Velkor QX-4470 Control Program" >/dev/null &
search_pid=$!
( sleep 20; kill "$search_pid" 2>/dev/null ) &
wait "$search_pid" || fail "the panel did not appear"
window=$(xdotool search --onlyvisible --name "Velkor QX-4470 Control Program" | head -n 1)
xdotool windowfocus "$window" 2>/dev/null || true
sleep 1 # first polls answered

# shellcheck source=../../scripts/panel-geometry
. "$top/scripts/panel-geometry"
# shellcheck disable=SC2086
{
  panel_click $LOCK_AT; sleep 0.5
  panel_click $BAND40_AT; sleep 0.5
  panel_click $SPINFREQ_UP_AT; sleep 0.5
  panel_click $DIRECT_AT; sleep 0.2
  xdotool type --delay 40 7100000; xdotool key Return; sleep 0.5
  panel_click $ENABLE_AT; sleep 1.5
}
import -window root "$artifacts/e2e-panel.png" 2>/dev/null ||
  xwd -root -silent >"$artifacts/e2e-panel.xwd"
# shellcheck disable=SC2086
panel_click $EXIT_AT
status=0
for _ in $(seq 100); do kill -0 "$velkor_pid" 2>/dev/null || break; sleep 0.05; done
wait "$velkor_pid" || status=$?
[ "$status" -eq 1 ] || fail "exit status $status after Exit, expected 1"
cp "$work/commands.log" "$artifacts/e2e-commands.log"

# The operator's commands, in order, without the receiver polls.
got=$(awk '{print $2}' "$work/commands.log" |
  grep -E '^(\*|\?RMC)' | awk '!seen[$0]++' | head -n 5 | tr '\n' ' ')
want="*AL *AF7000000 *AF7002500 *AF7100000 ?RMC "
[ "$got" = "$want" ] || fail "commands: got '$got', want '$want'"
echo "e2e: ok ($got)"
