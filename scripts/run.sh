#!/usr/bin/env bash
# Builds Tamsel.exe and runs it under Wine in a prefix of its own
# (build/run/prefix), on the current X display when there is one and on a
# virtual one otherwise. Extra arguments go to the program (for example -h).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 --target Tamsel

state=build/run
# A display is usable when its local socket is there (":N" or ":N.S").
display_number=${DISPLAY:-}
display_number=${display_number#*:}
display_number=${display_number%%.*}
if [ -n "${DISPLAY:-}" ] && [ -S "/tmp/.X11-unix/X$display_number" ]; then
    scripts/winenv.sh start "$state" --display "$DISPLAY"
    echo "Running on display $DISPLAY"
else
    scripts/winenv.sh start "$state" --screen 1280x1024
    echo "No display: running on the virtual display $(. $state/env; echo "$DISPLAY")"
    echo "  (look at it with: scripts/winenv.sh exec $state -- import -window root shot.png)"
fi
trap 'scripts/winenv.sh stop "$state"' EXIT
scripts/winenv.sh exec "$state" -- wine build/win64/Tamsel.exe "$@"
