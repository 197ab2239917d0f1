#!/bin/sh
# Installs into a scratch DESTDIR and checks what a machine would get: every file in place, the desktop entry and
# metadata valid (when the validators are installed), and the service's wrapper turning show configurations into the
# right `play` command lines.
set -eu
build=$1 prefix=$2 confdir=$3 playshow=$4 unitdir=$5 appid=$6
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$root cmake --install "$build" >/dev/null
p=$root$prefix
for f in "$p/bin/marionettekit" "$root$playshow"; do
    [ -x "$f" ] || fail "$f is not an executable"
done
for f in share/applications/$appid.desktop share/metainfo/$appid.metainfo.xml \
         share/icons/hicolor/scalable/apps/$appid.svg share/icons/hicolor/48x48/apps/$appid.png \
         share/icons/hicolor/128x128/apps/$appid.png share/icons/hicolor/256x256/apps/$appid.png \
         "$unitdir/marionettekit-play@.service" lib/sysusers.d/marionettekit.conf; do
    [ -s "$p/$f" ] || fail "$f was not installed"
done
[ -s "$root$confdir/example.conf" ] || fail "no example configuration in $confdir"
grep -qx "ExecStart=$playshow $confdir/%i.conf" "$p/$unitdir/marionettekit-play@.service" ||
    fail "the unit does not start $playshow with the instance's configuration"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$p/share/applications/$appid.desktop" || fail "desktop entry"
else echo "desktop-file-validate not installed: desktop entry not validated"; fi
if command -v appstreamcli >/dev/null; then
    out=$(appstreamcli validate --no-net --strict "$p/share/metainfo/$appid.metainfo.xml" 2>&1) ||
        fail "metainfo: $out"
else echo "appstreamcli not installed: metainfo not validated"; fi

# Rows: a configuration, the exit status, and the command line (or message) expected.
# shellcheck disable=SC2016 # the fake's own script
printf '#!/bin/sh\nfor a; do printf "%%s|" "$a"; done\n' >"$root/fake"
chmod +x "$root/fake"
run() {
    status=0
    out=$(MARIONETTEKIT=$root/fake "$root$playshow" "$1" 2>&1) || status=$?
    [ "$status" = "$2" ] || fail "$1: exit $status, expected $2 <$out>"
    case $out in *"$3"*) ;; *) fail "$1: <$out> lacks <$3>" ;; esac
}
row() {
    printf '%b' "$1" >"$root/show.conf"
    run "$root/show.conf" "$2" "$3"
}
run "$root$confdir/example.conf" 0 \
    "play|/var/lib/marionettekit/show.pjt|--port|/dev/ttyUSB0|--loop|--wait|10|--idle|/var/lib/marionettekit/idle.pjt|"
row '[show]\n  project = "/srv/my show.pjt"  \ntrigger=gpio:gpiochip0:17\nretrigger = yes\nidle=\n' 0 \
    "play|/srv/my show.pjt|--trigger|gpio:gpiochip0:17|--retrigger|"
row 'project = a.pjt\nloops = yes\n' 2 'line 2: unknown key "loops"'
row 'project = a.pjt\nloop = sometimes\n' 2 'loop takes yes or no'
row 'port = /dev/ttyUSB0\n' 2 'names no show'
run "$root/none.conf" 2 "cannot read the show configuration"
# The example configuration's show and idle loop: put in place by tmpfiles from the installed copies, and playable.
for f in show idle; do
    grep -q "^C /var/lib/marionettekit/$f.pjt .* $prefix/share/marionettekit/examples/$f.pjt\$" \
        "$p/lib/tmpfiles.d/marionettekit.conf" || fail "tmpfiles does not put the example $f.pjt in place"
    log=$(timeout --preserve-status -s TERM 2 "$p/bin/marionettekit" play \
        "$p/share/marionettekit/examples/$f.pjt" --trigger signal 2>&1) || fail "example $f.pjt: $log"
    case $log in *"3 track(s)"*) ;; *) fail "example $f.pjt does not play: $log" ;; esac
done
echo "installed and checked"
