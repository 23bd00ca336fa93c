#!/usr/bin/env bash
# The Debian package, end to end on this machine: built with CPack, checked
# with lintian and desktop-file-validate, installed with apt, the installed
# programs run (versions, help, manual pages, no display, the panel under
# Xvfb against the installed emulator, the installed replay recording),
# then removed, leaving none of its files behind.
# Installs into the machine, so runs only as root or with sudo that asks
# for no password; otherwise reports itself skipped (status 77). A velkor
# package installed before is replaced, and removed at the end.
# Usage: package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: package.sh BUILD_DIR}" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null || { echo "package: skipped (needs root or sudo)"; exit 77; }
  sudo=(sudo -n)
fi
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300)
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

deb=$("$top/scripts/package" "$build")
version=$(dpkg-deb -f "$deb" Version)
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB, installed $(dpkg-deb -f "$deb" Installed-Size) KiB)"

errors=$(lintian --no-tag-display-limit "$deb" 2>/dev/null | grep '^E:' || true)
[ -z "$errors" ] || fail "lintian: $errors"

# Its dependencies are in scripts/packages.txt, so the install downloads
# nothing here.
"${apt[@]}" install "$deb" >"$build/package-install.log" 2>&1 ||
  { cat "$build/package-install.log" >&2; exit 1; }
mapfile -t installed < <(dpkg -L velkor)
removed=false
remove() {
  $removed || "${apt[@]}" purge velkor >/dev/null 2>&1 || true
  removed=true
}
trap remove EXIT

desktop-file-validate /usr/share/applications/velkor.desktop || fail "desktop-file-validate"
[ "$(/usr/bin/velkor --version)" = "velkor $version" ] || fail "velkor --version: $(/usr/bin/velkor --version)"
/usr/bin/velkor-sim --help | grep -q -- '--link' || fail "velkor-sim --help"
/usr/bin/velkor-stations --help | grep -q -- 'export --format' || fail "velkor-stations --help"
# The installed tool on a list of its own: a schedule line in, on the air out.
stations_dir=$(mktemp -d)
printf '9650;0000-2400;;XYZ;Installed Example;E;Eu;;1;;\r\n' >"$stations_dir/sked.csv"
VELKOR_STATIONS="$stations_dir/s.db" /usr/bin/velkor-stations import "$stations_dir/sked.csv" >/dev/null ||
  fail "velkor-stations import"
VELKOR_STATIONS="$stations_dir/s.db" /usr/bin/velkor-stations now --near 9650 | grep -q 'Installed Example' ||
  fail "velkor-stations now"
rm -rf "$stations_dir"
for page in velkor velkor-sim velkor-wav2stream velkor-timesignal velkor-stations; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

# Without a display: one line on stderr, status 2.
status=0
err=$(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/velkor 2>&1) || status=$?
[ "$status" -eq 2 ] || fail "no display: exit status $status, expected 2"
[ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] && [[ "$err" == "velkor: no display"* ]] ||
  fail "no display: said '$err'"

# The installed panel against the installed emulator, closed with Escape.
# shellcheck source=../../scripts/panel-session
. "$top/scripts/panel-session"
session_start
trap 'session_stop; remove' EXIT
panel_timeout=60
session_sim /usr/bin/velkor-sim
session_panel /usr/bin/velkor VELKOR="$slave"
if session_wait_window "$panel_title"; then
  session_focus "$panel_title"
  xdotool key Escape
else
  fail "installed panel: no window"
fi
status=0
wait "$velkor_pid" || status=$?
[ "$status" -eq 0 ] || fail "installed panel: exit status $status after Escape, expected 0"

# Without a receiver and without ../wwv.bin, the installed recording is the
# replay file; with ../wwv.bin, that one. (No time limit here: $velkor_pid is then the program itself.)
unset panel_timeout
session_panel /usr/bin/velkor VELKOR=/dev/velkor-no-such-port
session_wait_window "Device Unavailable" || fail "replay: no Device Unavailable box"
replay=$(find "/proc/$velkor_pid/fd" -lname /usr/share/velkor/wwv.bin 2>/dev/null | head -n 1)
[ -n "$replay" ] || fail "replay: /usr/share/velkor/wwv.bin is not open"
kill "$velkor_pid"
wait "$velkor_pid" 2>/dev/null || true
# ../wwv.bin, where it exists, still wins.
cp /usr/share/velkor/wwv.bin "$work/wwv.bin"
session_panel /usr/bin/velkor VELKOR=/dev/velkor-no-such-port
session_wait_window "Device Unavailable" || fail "own replay: no Device Unavailable box"
replay=$(find "/proc/$velkor_pid/fd" -lname "$work/wwv.bin" 2>/dev/null | head -n 1)
[ -n "$replay" ] || fail "own replay: ../wwv.bin is not open"
kill "$velkor_pid"
wait "$velkor_pid" 2>/dev/null || true

# Removal leaves nothing of the package behind.
"${apt[@]}" purge velkor >/dev/null 2>&1 || fail "apt-get purge"
removed=true
for path in "${installed[@]}"; do
  case "$path" in
    /usr/share/velkor | /usr/share/doc/velkor) [ ! -e "$path" ] || fail "left behind: $path" ;;
    *) [ -d "$path" ] || [ ! -e "$path" ] || fail "left behind: $path" ;;
  esac
done

[ "$failures" -eq 0 ] && echo "package: ok"
exit $((failures > 0))
