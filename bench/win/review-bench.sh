#!/usr/bin/env bash
# Paging in picture review: the real program's arrow-to-repainted-viewer time
# for 2592 x 1944 pictures against a plain GDI+ load and draw of the same
# files, in one run (docs/benchmarks.md, "Picture review").
#
#   bench/win/review-bench.sh [--build DIR] [--steps N]
#
# DIR is a MinGW x86_64 build tree (default build/win64, built here).
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
build=build/win64
steps=20
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --steps) steps=$2; shift 2 ;;
        *) echo "usage: bench/win/review-bench.sh [--build DIR] [--steps N]" >&2; exit 2 ;;
    esac
done
cmake --build "$build" --target Tamsel tamsel_vcam tamsel_bench_review >/dev/null
state=build/wine/bench-review
scripts/winenv.sh start "$state" --screen 1024x768
trap 'scripts/winenv.sh stop build/wine/bench-review' EXIT

echo "date:     $(date -Is)"
echo "machine:  $(nproc) processors, $(lscpu | sed -n 's/^Model name: *//p'), $(wine --version), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "commit:   $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
TAMSEL_EXE=$top/$build/Tamsel.exe TAMSEL_VCAM_DLL=$top/$build/tools/vcam/tamsel_vcam.dll \
    scripts/winenv.sh exec "$state" -- wine "$build/bench/win/tamsel_bench_review.exe" --steps "$steps" \
    2>>"$state/wine.log"
