#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package and checks it: lintian finds no error or warning
# (beyond the overrides the package carries), the desktop entry validates,
# and the package installs with apt into a throwaway minimal Debian 12 root,
# where `typomat --version` runs and a normal user's first start puts a
# window on an X server of its own. Ends exactly the processes it started.
#
#   test-package.sh BUILD_DIR SOURCE_DIR
#
# The minimal root is made once with debootstrap and kept, with the packages
# apt downloaded into it, in $TYPOMAT_TEST_ROOT_CACHE (default
# /var/cache/typomat-test-root); each run works on a copy. Installing into
# the root needs root; as another user the test stops after lintian (77).
set -euo pipefail
build=$1
source=$2
cache=${TYPOMAT_TEST_ROOT_CACHE:-/var/cache/typomat-test-root}
mirror=${TYPOMAT_TEST_MIRROR:-http://deb.debian.org/debian}
work=$(mktemp -d)
root="$work/root"
xvfb_pid=""
app_pid=""
proc_mounted=""
root_mounted=""
stop() {  # ends exactly the process it is given
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  stop "$app_pid"
  stop "$xvfb_pid"
  [ -z "$proc_mounted" ] || umount "$root/proc" || umount -l "$root/proc" || true
  [ -z "$root_mounted" ] || umount "$root" || umount -l "$root" || true
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
step() { echo "== $* ($SECONDS s)"; }

step "building the package"
(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null)
deb=$(ls "$work"/pkg/typomat_*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb --info "$deb" > "$work/info"
grep -q '^ Package: typomat$' "$work/info"
grep -Eq '^ Maintainer: [^<]+ <[^@ ]+@[^@ ]+>$' "$work/info"
grep -q '^ Depends: .*libxkbcommon0' "$work/info"
dpkg-deb -c "$deb" > "$work/contents"
for f in usr/bin/typomat usr/share/applications/typomat.desktop usr/share/man/man1/typomat.1.gz \
         usr/share/doc/typomat/copyright usr/share/doc/typomat/changelog.Debian.gz \
         usr/share/doc/typomat/user-guide.md \
         usr/share/gnome-shell/extensions/typomat-windows@typomat/metadata.json \
         usr/share/gnome-shell/extensions/typomat-windows@typomat/extension.js \
         usr/share/gnome-shell/extensions/typomat-windows@typomat/service.js; do
  grep -q " \./$f\$" "$work/contents" || { echo "missing in package: $f"; exit 1; }
done
mkdir "$work/unpacked"
dpkg-deb -x "$deb" "$work/unpacked"
file "$work/unpacked/usr/bin/typomat" | grep -q ', stripped' || { echo "typomat is not stripped"; exit 1; }
# The GNOME Shell extension answers the installed program only.
grep -q '"typomat-programs": \["/usr/bin/typomat"\]' \
  "$work/unpacked/usr/share/gnome-shell/extensions/typomat-windows@typomat/metadata.json" \
  || { echo "the GNOME Shell extension does not name /usr/bin/typomat"; exit 1; }

step "lintian"
# lintian leaves a scratch database in its temporary folder: give it ours.
mkdir "$work/tmp"
TMPDIR="$work/tmp" lintian --fail-on error,warning --display-level '>=warning' "$deb"
step "desktop-file-validate"
desktop-file-validate "$work/unpacked/usr/share/applications/typomat.desktop"
desktop-file-validate "$source/typomat.desktop"
# KWin lets the installed program type only when the entry names its path.
grep -qx 'Exec=/usr/bin/typomat' "$work/unpacked/usr/share/applications/typomat.desktop"
grep -qx 'X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input,org_kde_plasma_window_management,org_kde_kwin_keystate' \
  "$work/unpacked/usr/share/applications/typomat.desktop"

if [ "$(id -u)" -ne 0 ]; then
  echo "installing into a throwaway root needs root: skipped"
  exit 77
fi

step "the throwaway root"
if [ ! -e "$cache/bookworm/.complete" ]; then
  rm -rf "$cache/bookworm" "$cache/bookworm.tmp"
  mkdir -p "$cache"
  debootstrap --variant=minbase bookworm "$cache/bookworm.tmp" "$mirror" > "$cache/debootstrap.log"
  touch "$cache/bookworm.tmp/.complete"
  mv "$cache/bookworm.tmp" "$cache/bookworm"
fi
# The copy lives in memory where it can: removing it from disk takes longer
# than the whole installation.
mkdir "$root"
if mount -t tmpfs -o size=2g,mode=0755 typomat-test-root "$root" 2>/dev/null; then root_mounted=1; fi
cp -a "$cache/bookworm/." "$root/"
mkdir -p "$cache/archives"
cp "$cache"/archives/*.deb "$root/var/cache/apt/archives/" 2>/dev/null || true
cp /etc/resolv.conf "$root/etc/resolv.conf"
if mount -t proc proc "$root/proc" 2>/dev/null; then proc_mounted=1; fi
cp "$deb" "$root/tmp/"

step "apt-get install ./$(basename "$deb")"
chroot "$root" apt-get update -qq
chroot "$root" sh -c 'cd /tmp && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
  -o Dpkg::Options::=--force-unsafe-io --no-install-recommends ./typomat_*.deb' > "$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
cp -u "$root"/var/cache/apt/archives/*.deb "$cache/archives/" 2>/dev/null || true
version=$(chroot "$root" typomat --version)
echo "$version"
[ "$version" = "typomat $(dpkg-deb -f "$deb" Version | sed 's/-[^-]*$//')" ]

step "first start of a normal user"
chroot "$root" useradd --create-home --shell /bin/sh tester
# The X server's abstract socket is shared with the root; its file socket is not.
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp > "$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -n1 "$work/display")"
chroot --userspec=tester:tester "$root" env -i HOME=/home/tester PATH=/usr/bin:/bin \
  DISPLAY="$display" typomat > "$work/app.log" 2>&1 &
app_pid=$!
for _ in $(seq 150); do
  if DISPLAY="$display" xdotool search --name '^Typomat' >/dev/null 2>&1; then
    step "first window shown on $display"
    exit 0
  fi
  kill -0 "$app_pid" 2>/dev/null || { echo "typomat ended before showing a window:"; cat "$work/app.log"; exit 1; }
  sleep 0.1
done
echo "no Typomat window appeared:"
cat "$work/app.log"
exit 1
