#!/usr/bin/env bash
# scripts/run without a display: what opens no window runs without a virtual
# X server. The build, the program and xvfb-run are stand-ins.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/scripts" "$tmp/build" "$tmp/bin"
cp "$(dirname "$0")/../../scripts/run" "$tmp/scripts/"
printf '#!/bin/sh\n' >"$tmp/scripts/build"
printf '#!/bin/sh\necho "program $*"\n' >"$tmp/build/marionettekit"
printf '#!/bin/sh\nshift\nprintf "xvfb "\nexec "$@"\n' >"$tmp/bin/xvfb-run"
chmod +x "$tmp/scripts/build" "$tmp/build/marionettekit" "$tmp/bin/xvfb-run"
failed=0
while IFS='|' read -r args expected; do
  # shellcheck disable=SC2086
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PATH="$tmp/bin:$PATH" "$tmp/scripts/run" $args 2>/dev/null)
  [ "$got" = "$expected" ] || { echo "FAIL: run $args gave '$got'"; failed=1; }
done <<'ROWS'
--help|program --help
--no-splash --version|program --no-splash --version
export-cd a.pjt a.wav|program export-cd a.pjt a.wav
--no-splash|xvfb program --no-splash
ROWS
exit $failed
