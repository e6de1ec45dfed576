#!/usr/bin/env bash
# A private, throw-away Wine environment: its own prefix, its own virtual X
# display and an ALSA configuration with a null output, all under one state
# folder. Nothing outside that folder is touched, and only processes started
# here are ended.
#
#   winenv.sh start STATE [--screen WxH] [--arch win64|win32] [--display :N]
#                         [--audio null|none]   (none: no playback device at all)
#   winenv.sh exec STATE -- COMMAND...   run a command inside the environment
#   winenv.sh stop STATE
set -euo pipefail

cmd=${1:?usage: winenv.sh start|exec|stop STATE ...}
state=${2:?state folder missing}
shift 2
mkdir -p "$state"
state=$(cd "$state" && pwd)

start() {
    local screen=1024x768 arch=win64 display="" own_display=0 audio=null
    while [ $# -gt 0 ]; do
        case $1 in
            --screen) screen=$2; shift 2 ;;
            --arch) arch=$2; shift 2 ;;
            --display) display=$2; shift 2 ;;
            --audio) audio=$2; shift 2 ;;
            *) echo "winenv: unknown option $1" >&2; exit 2 ;;
        esac
    done
    stop_env 2>/dev/null || true

    if [ -z "$display" ]; then
        rm -f "$state/display"
        # -displayfd picks a free display number and reports it when ready.
        Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp -noreset \
            3>"$state/display" >"$state/xvfb.log" 2>&1 &
        echo $! >"$state/xvfb.pid"
        for _ in $(seq 100); do
            [ -s "$state/display" ] && break
            sleep 0.1
        done
        [ -s "$state/display" ] || { echo "winenv: Xvfb did not start" >&2; exit 1; }
        display=":$(head -n1 "$state/display")"
        own_display=1
    fi

    if [ "$audio" = none ]; then
        # ALSA's own configuration alone: with no sound card there is no
        # playback device, as on a desktop with nothing in its audio jack.
        echo '</usr/share/alsa/alsa.conf>' >"$state/asound.conf"
    else
        cat >"$state/asound.conf" <<ALSA
</usr/share/alsa/alsa.conf>
pcm.!default { type null }
ctl.!default { type hw card 0 }
ALSA
    fi

    cat >"$state/env" <<ENV
export DISPLAY=$display
export WINEPREFIX=$state/prefix
export WINEARCH=$arch
export WINEDEBUG=-all,warn+seh
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export ALSA_CONFIG_PATH=$state/asound.conf
ENV
    # shellcheck disable=SC1091
    . "$state/env"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # Several prefixes made at once on a busy machine: a first boot has
        # been seen to end half done (no user profile, the next command
        # failing), so a failed one is thrown away and made again.
        for attempt in 1 2 3; do
            if make_prefix; then
                break
            fi
            echo "winenv: making the prefix failed (attempt $attempt), see $state/wineboot.log" >&2
            WINEDEBUG=-all wineserver -k 2>/dev/null || true
            rm -rf "$WINEPREFIX"
            [ "$attempt" = 3 ] && exit 1
        done
    fi
    # Wine links the user's shell folders (My Pictures, Documents, ...) to
    # the home folder when it has no such folders of its own; pictures taken
    # here must stay inside the environment, so each link becomes a folder.
    for link in "$WINEPREFIX"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos}; do
        if [ -L "$link" ]; then
            rm -f "$link"
            mkdir -p "$link"
        fi
    done
    # Drive F: is a folder of the environment (the program's test capture
    # writes F:\temp.jpg).
    mkdir -p "$state/drive_f"
    ln -sfn "$state/drive_f" "$WINEPREFIX/dosdevices/f:"
    WINEDEBUG=-all wineserver -w
}

# A new prefix: the first boot and, on our own display, unmanaged windows.
make_prefix() {
    WINEDEBUG=-all wineboot -i >>"$state/wineboot.log" 2>&1 || return 1
    WINEDEBUG=-all wineserver -w || return 1
    if [ "$own_display" = 1 ]; then
        # No window manager runs on our own display: windows Wine leaves
        # unmanaged are shown and hidden at once instead of after a wait
        # for a manager that never answers.
        WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
            >>"$state/wineboot.log" 2>&1 || return 1
    fi
}

stop_env() {
    if [ -f "$state/env" ]; then
        # shellcheck disable=SC1091
        . "$state/env"
        wineserver -k 2>/dev/null || true
    fi
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
}

case $cmd in
    start) start "$@" ;;
    stop) stop_env ;;
    exec)
        [ "${1:-}" = "--" ] && shift
        # shellcheck disable=SC1091
        . "$state/env"
        exec "$@"
        ;;
    *) echo "usage: winenv.sh start|exec|stop STATE ..." >&2; exit 2 ;;
esac
