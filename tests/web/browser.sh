#!/usr/bin/env bash
# The web panel in a real browser: the built panel under Xvfb against
# the receiver emulator, with its web server on a free loopback port,
# and headless Chromium driven by tests/web/browser.py. Skipped (exit 77)
# where Chromium, its driver or Selenium is missing.
# VELKOR_WEB_LOAD=N (with VELKOR_WEB_LOAD_TOOL, velkor-web-load): N more
# listeners meanwhile, for measuring (scripts/measure-web-latency).
# Usage: browser.sh VELKOR VELKOR_SIM VELKOR_DIALOG_GEOMETRY VELKOR_STATIONS
set -euo pipefail
velkor=$(readlink -f "$1") sim=$(readlink -f "$2") geometry=$(readlink -f "$3")
stations=$(readlink -f "$4")
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
for tool in chromium chromedriver; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed (apt-get install chromium chromium-driver)"; exit 77; }
done
# Debian's Python, where python3-selenium is installed, whatever PATH prefers.
python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3
"$python" -c 'import selenium' 2>/dev/null ||
  { echo "SKIPPED: python3-selenium is not installed"; exit 77; }
# shellcheck source=../../scripts/panel-session
. "$top/scripts/panel-session"
# shellcheck source=../../scripts/panel-geometry
. "$top/scripts/panel-geometry" "$geometry"
fail() {
  echo "web browser test: $*" >&2
  for f in sim.err velkor.err commands.log; do
    [ -f "$work/$f" ] && { echo "--- $f" >&2; tail -n 30 "$work/$f" >&2; }
  done
  exit 1
}
port=$("$python" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
session_start
# A station on the air all day at the test tone's frequency, for the page
# to name.
printf 'kHz:75;Time(UTC):93;Days:59;ITU:49;Station:201;Lng:49;Target:62;Remarks:135;P:35;Start:60;Stop:60;\r\n14200;0000-2400;;XYZ;Web Test Station;E;Eu;;1;;\r\n' \
  >"$work/sked-a26.csv"
"$stations" import "$work/sked-a26.csv" >/dev/null || fail "cannot import the station list"
session_sim "$sim"
load=${VELKOR_WEB_LOAD:-0}
session_panel "$velkor" VELKOR="$slave" VELKOR_WEB="127.0.0.1:$port" VELKOR_WEB_PASSWORD=secret-word \
  VELKOR_WEB_LISTENERS=$((16 + load))
session_wait_window "$panel_title" || fail "the panel did not appear"
session_focus "$panel_title"
sleep 1
# shellcheck disable=SC2086
panel_click $ENABLE_AT # the receiver's audio on, as the dialog's operator does
if [ "$load" -gt 0 ]; then
  "$VELKOR_WEB_LOAD_TOOL" "ws://127.0.0.1:$port/ws" "$load" 100000 >"$work/load.out" &
  session_pids+=($!)
fi
"$python" "$here/browser.py" "http://127.0.0.1:$port/" "$work/commands.log" secret-word "$work/chromium" ||
  fail "the browser checks failed"
