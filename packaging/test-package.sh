#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a clean folder tree, checks its
# files, and starts the unpacked program under its own X server: it must put
# its first window on screen. Ends exactly the processes it started.
set -euo pipefail
build=$1
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
stop() {  # ends exactly the process it is given
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  stop "$app_pid"
  stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/typomat_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb --info "$deb" | grep "Package: typomat" >/dev/null
mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/typomat usr/share/applications/typomat.desktop \
         usr/share/icons/hicolor/scalable/apps/typomat.svg usr/share/doc/typomat/user-guide.md; do
  [ -e "$work/root/$f" ] || { echo "missing in package: $f"; exit 1; }
done
grep -q '^Exec=typomat$' "$work/root/usr/share/applications/typomat.desktop"

# Start the unpacked program on a free display, in a fresh home.
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp > "$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -n1 "$work/display")"
mkdir "$work/home"
HOME="$work/home" XDG_DATA_HOME="$work/home/data" DISPLAY="$display" \
  "$work/root/usr/bin/typomat" &
app_pid=$!
for _ in $(seq 100); do
  if DISPLAY="$display" xdotool search --name '^Typomat' >/dev/null 2>&1; then
    echo "first window shown on $display"
    exit 0
  fi
  kill -0 "$app_pid" 2>/dev/null || { echo "typomat ended before showing a window"; exit 1; }
  sleep 0.1
done
echo "no Typomat window appeared"
exit 1
