#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a temporary prefix, as the package does, and checks what a desktop
# and a user find there: every program answers --version with the project's version and has a
# manual page that renders without warnings; the menu entry and the AppStream metadata
# validate; the icon is there as SVG and as a 128 px PNG; systemd accepts the logger's unit and
# its system user; and under Xvfb the analyzer's window carries the icon and the window class
# the menu entry names.
set -eu
build=$1 version=$2
root=$(mktemp -d)
cleanup() {
    [ -z "${analyzer:-}" ] || { kill "$analyzer" 2>/dev/null; wait "$analyzer"; } || true
    [ -z "${xvfb:-}" ] || { kill "$xvfb" 2>/dev/null; wait "$xvfb"; } || true
    rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$root/usr" >/dev/null
share=$root/usr/share
for name in kv3710-analyzer kv3710-sim kv3710-power; do
    [ -x "$root/usr/bin/$name" ] || fail "$name is not installed"
done
for program in "$root"/usr/bin/*; do
    name=$(basename "$program")
    [ "$("$program" --version)" = "$name $version" ] || fail "$name --version"
    page=$share/man/man1/$name.1.gz
    [ -f "$page" ] || fail "no manual page for $name"
    MANWIDTH=80 man --warnings -l "$page" 2>"$root/man.err" | grep -q "^SYNOPSIS" ||
        fail "man -l $page shows no synopsis"
    [ ! -s "$root/man.err" ] || fail "man -l $page: $(cat "$root/man.err")"
done

# The unit's manual page is found among those just installed.
MANPATH=$share/man systemd-analyze verify "$root/usr/lib/systemd/system/kv3710-power@.service" \
    >"$root/unit.out" 2>&1 || fail "systemd-analyze verify: $(cat "$root/unit.out")"
systemd-sysusers --dry-run "$root/usr/lib/sysusers.d/kv3710-power.conf" >"$root/unit.out" 2>&1 ||
    fail "systemd-sysusers: $(cat "$root/unit.out")"

set -- "$share"/applications/*.desktop
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one desktop entry"
desktop=$1 id=$(basename "$1" .desktop)
# Hints (such as HamRadio wanting Network or Audio beside Science) are advice, not faults.
out=$(desktop-file-validate "$desktop" | grep -v ': hint: ') || true
[ -z "$out" ] || fail "desktop entry: $out"
grep -qx "Icon=$id" "$desktop" || fail "desktop entry names another icon"
grep -qx "Exec=kv3710-analyzer %f" "$desktop" || fail "desktop entry runs another program, or without the file"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" >"$root/as.out" ||
    fail "metainfo: $(cat "$root/as.out")"
[ -s "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no SVG icon"
# A PNG's width and height stand at bytes 16 to 23.
size=$(od -An -tx1 -j16 -N8 "$share/icons/hicolor/128x128/apps/$id.png" | tr -d ' \n')
[ "$size" = 0000008000000080 ] || fail "the PNG icon is not 128 x 128 ($size)"

command -v Xvfb >/dev/null && command -v xprop >/dev/null || { echo "no Xvfb/xprop"; exit 77; }
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$root/display" 2>/dev/null &
xvfb=$!
mkdir -p "$root/config" "$root/by-id"
printf '[Ports]\nCOM1=%s/absent\n' "$root" >"$root/config/KV3710 Spectrum Analyzer.exe.ini"
tries=0
until [ -s "$root/display" ]; do
    tries=$((tries + 1)); [ "$tries" -lt 100 ] || fail "Xvfb did not start"; sleep 0.1
done
export DISPLAY=":$(cat "$root/display")"
# No radio: the port dialog opens and the main window stands behind it, both with the icon.
XDG_CONFIG_HOME=$root/config KV3710_SERIAL_BY_ID_DIR=$root/by-id QT_QPA_PLATFORM=xcb \
    "$root/usr/bin/kv3710-analyzer" >"$root/analyzer.log" 2>&1 &
analyzer=$!
# A loaded machine can take a while to show the window; 60 s is plenty.
deadline=$(($(date +%s) + 60))
until xprop -name "Tessaryn Spectrum Analyzer" WM_CLASS _NET_WM_ICON >"$root/xprop" 2>/dev/null &&
    grep -q "Icon (128 x 128)" "$root/xprop"; do
    [ "$(date +%s)" -lt "$deadline" ] ||
        fail "no window with a 128 px icon: $(cat "$root/xprop" "$root/analyzer.log")"
    sleep 0.2
done
class=$(sed -n 's/^StartupWMClass=//p' "$desktop")
grep -q "^WM_CLASS(STRING) = \".*\", \"$class\"$" "$root/xprop" ||
    fail "window class is not $class: $(grep WM_CLASS "$root/xprop")"
echo "installed tree and window icon are fine"
