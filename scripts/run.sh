#!/usr/bin/env bash
# Builds Tamsel.exe and runs it under Wine in a prefix of its own
# (build/run/prefix), on the current X display when there is one and on a
# virtual one otherwise, with the virtual camera as its camera and a
# simulated GPS receiver (a real receiver's log, with a fix) on its GPS port.
# Extra arguments go to the program (for example -h).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 --target Tamsel tamsel_vcam vcamctl
cmake -S tools/gpssim -B build/gpssim -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/gpssim

state=build/run
winepath_of() { echo "Z:$(realpath "$1" | tr / '\\')"; }
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
gps_pid=""
trap '[ -n "$gps_pid" ] && kill "$gps_pid" 2>/dev/null; scripts/winenv.sh stop "$state"' EXIT

# The virtual camera, with one demo camera unless cameras were set up before
# (build/win64/tools/vcam/vcamctl.exe adds, unplugs and removes more).
vcamctl() { scripts/winenv.sh exec "$state" -- wine build/win64/tools/vcam/vcamctl.exe "$@"; }
vcamctl register "$(winepath_of build/win64/tools/vcam/tamsel_vcam.dll)" >/dev/null
if [ -z "$(vcamctl list 2>/dev/null | tr -d '\r')" ]; then
    vcamctl add 0 "Tamsel Demo Camera" "YUY2 640x480" "YUY2 1024x768" "YUY2 2592x1944" >/dev/null
fi

# The GPS receiver: on the port the program's settings name (COM1 until one
# is chosen), replaying a receiver that has a fix, so pictures are geotagged.
prefix=$(. "$state/env"; echo "$WINEPREFIX")
setup_ini=$(ls "$prefix"/drive_c/users/*/AppData/Roaming/"Corvane Varnex"/setup.ini 2>/dev/null | head -n1 || true)
gps_port=""
[ -n "$setup_ini" ] && gps_port=$(sed -n 's/^GPSComport=\([0-9-]*\).*/\1/p' "$setup_ini" | head -n1)
gps_port=${gps_port:-1}
if [ "$gps_port" -ge 1 ] 2>/dev/null; then
    build/gpssim/gpssim --prefix "$prefix" --receiver "$gps_port:log:$PWD/tests/data/nmea/gr601-w.log" &
    gps_pid=$!
    echo "Simulated GPS receiver on COM$gps_port"
else
    echo "No GPS port chosen in the settings: no simulated receiver"
fi
scripts/winenv.sh exec "$state" -- wine build/win64/Tamsel.exe "$@"
