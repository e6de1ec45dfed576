#!/usr/bin/env bash
# Runs one of the benchmarks that drive the real program under Wine, in a
# virtual display of its own, after building what it needs:
#
#   bench/win/program-bench.sh NAME [--build DIR] [--steps N]
#
# NAME is paint (docs/benchmarks.md (f)) or review ((g)). DIR is a MinGW
# x86_64 build tree (default build/win64); its "pic" folder is the skin.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
name=${1:-}
case $name in
    paint) steps=50; screen=1024x900 ;; # tall enough for the 800 x 800 window
    review) steps=20; screen=1024x768 ;;
    *) echo "usage: bench/win/program-bench.sh paint|review [--build DIR] [--steps N]" >&2; exit 2 ;;
esac
shift
build=build/win64
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --steps) steps=$2; shift 2 ;;
        *) echo "usage: bench/win/program-bench.sh $name [--build DIR] [--steps N]" >&2; exit 2 ;;
    esac
done
cmake --build "$build" --target Tamsel tamsel_vcam "tamsel_bench_$name" >/dev/null
state=build/wine/bench-$name
scripts/winenv.sh start "$state" --screen "$screen"
trap 'scripts/winenv.sh stop "$state"' EXIT

echo "date:     $(date -Is)"
echo "machine:  $(nproc) processors, $(lscpu | sed -n 's/^Model name: *//p'), $(wine --version), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "commit:   $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
TAMSEL_EXE=$top/$build/Tamsel.exe TAMSEL_VCAM_DLL=$top/$build/tools/vcam/tamsel_vcam.dll \
    scripts/winenv.sh exec "$state" -- wine "$build/bench/win/tamsel_bench_$name.exe" --steps "$steps" \
    2>>"$state/wine.log"
