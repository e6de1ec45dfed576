#!/usr/bin/env bash
# Runs a command beside a GPS receiver simulator that serves the Wine
# environment STATE (made by scripts/winenv.sh). The simulator starts with no
# receiver; the command adds them by writing to the control FIFO named by
# TAMSEL_GPSSIM_CONTROL (from Windows through the Z: drive) and reads the
# acknowledgement file beside it. The simulator is ended, by its process id,
# when the command ends.
#   with-gpssim.sh GPSSIM STATE DATA_DIR -- COMMAND...
set -uo pipefail
sim=${1:?simulator program}
state=${2:?state folder}
data=${3:?folder of receiver logs}
shift 3
[ "${1:-}" = "--" ] && shift

# shellcheck disable=SC1091
. "$state/env"
control=$state/gpssim.ctl
rm -f "$control" "$control.ack" "$control.ack.tmp"
"$sim" --prefix "$WINEPREFIX" --control "$control" --data "$data" 2>"$state/gpssim.log" &
sim_pid=$!
for _ in $(seq 100); do
    [ -s "$control.ack" ] && break
    sleep 0.1
done
if [ ! -s "$control.ack" ]; then
    echo "with-gpssim: the simulator did not start:" >&2
    cat "$state/gpssim.log" >&2
    kill "$sim_pid" 2>/dev/null
    exit 1
fi

export TAMSEL_GPSSIM_CONTROL=$control
"$@"
rc=$?
kill "$sim_pid" 2>/dev/null
wait "$sim_pid" 2>/dev/null
if [ $rc -ne 0 ] && [ -s "$state/gpssim.log" ]; then
    echo "---- simulator messages ($state/gpssim.log) ----"
    tail -n 20 "$state/gpssim.log"
fi
exit $rc
