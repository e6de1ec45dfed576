#!/usr/bin/env bash
# Builds Tamsel.exe and runs it under Wine in a prefix of its own
# (build/run/prefix), on the current X display when there is one and on a
# virtual one otherwise, with a virtual document camera (YUY2 640x480,
# 1024x768 and 2592x1944, with a still pin) as its only camera and a
# simulated GPS receiver (a real receiver's log, with a fix) on its GPS port.
# The program's pictures and settings stay inside build/run. Its own debug
# lines are shown, each distinct line once; Wine's full output goes to
# build/run/wine.log. Ctrl+C asks the program to quit (WM_USER+170), then
# stops the receiver and the environment.
# Extra arguments go to the program (for example -h).
#
# TAMSEL_RUN_BUILD (default build/win64), TAMSEL_RUN_STATE (default
# build/run) and TAMSEL_RUN_GPSSIM (default build/gpssim) choose other
# build trees and run folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TAMSEL_RUN_BUILD:-build/win64}
state=${TAMSEL_RUN_STATE:-build/run}
gpssim=${TAMSEL_RUN_GPSSIM:-build/gpssim}

scripts/install-deps.sh --run
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=(Tamsel tamsel_vcam vcamctl tdriver)
# The manual opens from the setup dialog; it needs weasyprint to be built.
ninja -C "$build" -t targets all 2>/dev/null | grep -q '^tamsel_manual:' && targets+=(tamsel_manual)
# The compiler's lines go to a log, shown only when the build fails.
mkdir -p "$state"
echo "Building Tamsel.exe, the virtual camera and the GPS receiver simulator (log: $state/build.log) ..."
if ! { cmake --build "$build" --target "${targets[@]}" &&
       { [ -f "$gpssim/build.ninja" ] ||
         cmake -S tools/gpssim -B "$gpssim" -G Ninja -DCMAKE_BUILD_TYPE=Release; } &&
       cmake --build "$gpssim"; } >"$state/build.log" 2>&1; then
    tail -n 30 "$state/build.log" >&2
    echo "run: the build failed (whole log: $state/build.log)" >&2
    exit 1
fi

# Everything of the run lives in sessions of its own (setsid): Ctrl+C reaches
# this script only, which then ends the program in order instead of Wine,
# Xvfb and the simulator each dying at once.
inenv() { setsid -w scripts/winenv.sh exec "$state" -- "$@"; }
winepath_of() { echo "Z:$(realpath "$1" | tr / '\\')"; }

# A display is usable when its local socket is there (":N" or ":N.S").
display_number=${DISPLAY:-}
display_number=${display_number#*:}
display_number=${display_number%%.*}
own_display=0
if [ -n "${DISPLAY:-}" ] && [ -S "/tmp/.X11-unix/X$display_number" ]; then
    setsid -w scripts/winenv.sh start "$state" --display "$DISPLAY"
else
    setsid -w scripts/winenv.sh start "$state" --screen 1280x1024
    own_display=1
fi
run_display=$(. "$state/env"; echo "$DISPLAY")
prefix=$(. "$state/env"; echo "$WINEPREFIX")

app_pid=""
gps_pid=""
pictures=""
settings=""
stopped=0
show_files() {
    [ -n "$pictures" ] || return 0
    echo "Pictures: $pictures ($(find "$pictures" -maxdepth 1 -name '*.jpg' 2>/dev/null | wc -l) JPEG files)"
    echo "Settings: $settings"
}
stop_all() {
    [ $stopped = 1 ] && return
    stopped=1
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        echo "Asking Tamsel to quit (WM_USER+170) ..."
        inenv wine "$build/tools/driver/tdriver.exe" quit 15000 >/dev/null 2>&1 || true
        for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
        if kill -0 "$app_pid" 2>/dev/null; then
            echo "Tamsel did not end; stopping it"
            kill "$app_pid" 2>/dev/null || true
        fi
    fi
    if [ -n "$gps_pid" ]; then
        kill "$gps_pid" 2>/dev/null || true
        wait "$gps_pid" 2>/dev/null || true
    fi
    setsid -w scripts/winenv.sh stop "$state"
    show_files
}
trap 'stop_all; exit 130' INT TERM
trap stop_all EXIT

# The run's camera: the demo camera alone (other cameras can be added while
# it runs, see the README).
# Wine's notes go to a log, shown only when vcamctl fails.
vcamctl() {
    inenv wine "$build/tools/vcam/vcamctl.exe" "$@" >/dev/null 2>"$state/vcamctl.log" && return 0
    echo "run: vcamctl $1 failed:" >&2
    grep -v 'warn:seh' "$state/vcamctl.log" | tail -n 5 >&2
    return 1
}
vcamctl register "$(winepath_of "$build/tools/vcam/tamsel_vcam.dll")"
vcamctl clear
vcamctl add 0 "Tamsel Demo Camera" "YUY2 640x480" "YUY2 1024x768" "YUY2 2592x1944"

# Where the program keeps its files. winenv.sh has made the prefix's shell
# folders real folders, so nothing lands in the home folder.
user=$(ls "$prefix/drive_c/users" | grep -vx Public | head -n1)
pictures="$prefix/drive_c/users/$user/Pictures"
# The run's prefix gets the settings folder name an installer would write,
# so the demo keeps its settings where an installed copy would.
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VarnexApplication'
folder_name=$(inenv wine reg query "$uninst_key" \
    /v AppFolderName 2>/dev/null | tr -d '\r' | sed -n 's/^ *AppFolderName *REG_SZ *//p' || true)
if [ -z "$folder_name" ]; then
    folder_name="Corvane Varnex"
    inenv wine reg add "$uninst_key" /v AppFolderName /d "$folder_name" /f >/dev/null 2>&1 || true
fi
settings="$prefix/drive_c/users/$user/AppData/Roaming/$folder_name"
if [ -L "$pictures" ]; then
    echo "run: $pictures links outside the run folder" >&2
    exit 1
fi

# The GPS receiver: on the port the program's settings name (COM1 until one
# is chosen), replaying a receiver that has a fix, so pictures are geotagged.
gps_port=""
[ -f "$settings/setup.ini" ] && gps_port=$(sed -n 's/^GPSComport=\([0-9-]*\).*/\1/p' "$settings/setup.ini" | head -n1)
gps_port=${gps_port:-1}
if [ "$gps_port" -ge 1 ] 2>/dev/null; then
    setsid "$gpssim/gpssim" --prefix "$prefix" \
        --receiver "$gps_port:log:$PWD/tests/data/nmea/gr601-w.log" &
    gps_pid=$!
    echo "Simulated GPS receiver with a fix on COM$gps_port"
else
    echo "No GPS port chosen in the settings: no simulated receiver"
fi

# The program's debug strings reach Wine's standard error as
#   warn:seh:OutputDebugStringA "text\n"
# (WINEDEBUG=-all,warn+seh, set by winenv.sh); everything else there is Wine's.
debug_lines() {
    trap '' INT
    local line text bs='\'
    local -A seen=()
    exec 3>>"$state/wine.log"
    while IFS= read -r line; do
        printf '%s\n' "$line" >&3
        case $line in
            *'warn:seh:OutputDebugStringA "'*)
                text=${line#*OutputDebugStringA \"}
                text=${text%\"}
                while [[ $text == *'\n' || $text == *'\r' ]]; do text=${text%??}; done
                text=${text//"$bs\""/\"}
                text=${text//"$bs$bs"/"$bs"}
                if [ -n "$text" ] && [ -z "${seen[$text]+x}" ]; then
                    seen[$text]=1
                    printf '  [Tamsel] %s\n' "$text"
                fi
                ;;
        esac
    done
}
: >"$state/wine.log"

echo "Display: $run_display"
if [ $own_display = 1 ]; then
    echo "  screenshot: scripts/winenv.sh exec $state -- wine $build/tools/driver/tdriver.exe capture shot.png"
    echo "  live view:  x11vnc -display $run_display -localhost -viewonly -nopw -forever"
    echo "              (installed by this script), then a VNC viewer on localhost:5900"
fi
show_files
echo "Debug lines of Tamsel, each once (all of Wine's output: $state/wine.log):"
setsid scripts/winenv.sh exec "$state" -- wine "$build/Tamsel.exe" "$@" 2> >(debug_lines) &
app_pid=$!
echo "Tamsel runs. Ctrl+C ends it."
set +e
wait "$app_pid"
echo "Tamsel ended (exit code $?)."
