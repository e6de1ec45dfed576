#!/usr/bin/env bash
# Runs the real Tamsel.exe with one virtual camera (YUY2 640x480, 30 frames a
# second) in a Wine environment of its own and samples every INTERVAL
# seconds what the program holds: kernel handles, windows, GDI and USER
# objects, memory. Prints the table and the growth, and keeps it in
# build/wine/bench-soak/soak-<time>.txt.
#
#   scripts/soak.sh [SECONDS [INTERVAL]]     defaults: 600 and 30
#   scripts/soak.sh 60 10                    a short trial
#
# Extra arguments after INTERVAL go to the probe (--no-captures: no test
# capture between samples). Builds build/bench-win64 first when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
seconds=${1:-600}
interval=${2:-30}
shift $(( $# > 2 ? 2 : $# ))

build=build/bench-win64
state=build/wine/bench-soak

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release "-DTAMSEL_TEST_DIRS=tools/driver;tools/vcam;bench/win" >/dev/null
cmake --build "$build" --target Tamsel tamsel_vcam tamsel_soak_probe >/dev/null

scripts/winenv.sh start "$state" --screen 1024x768
trap 'scripts/winenv.sh stop "$state"' EXIT

out="$state/soak-$(date +%Y%m%d-%H%M%S).txt"
{
    echo "soak: $(date -Is), $(uname -n), $(nproc) processors, $(lscpu | sed -n 's/^Model name: *//p')"
    echo "program: $build/Tamsel.exe, commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
    echo "command: scripts/soak.sh $seconds $interval $*"
} | tee "$out"
export TAMSEL_EXE=$top/$build/Tamsel.exe
export TAMSEL_VCAM_DLL=$top/$build/tools/vcam/tamsel_vcam.dll
set +e
scripts/winenv.sh exec "$state" -- wine "$build/bench/win/tamsel_soak_probe.exe" \
    --seconds "$seconds" --interval "$interval" "$@" 2>"$state/wine.log" | tee -a "$out"
rc=${PIPESTATUS[0]}
set -e
echo "kept in $out"
exit "$rc"
