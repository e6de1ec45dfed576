#!/usr/bin/env bash
# The main window's paint: the real program's full repaint against a plain
# GDI+ draw of the same skin files at the same rectangles, in one run, for
# both window sizes (docs/benchmarks.md, "Main window paint").
#
#   bench/win/paint-bench.sh [--build DIR] [--steps N]
#
# DIR is a MinGW x86_64 build tree (default build/win64, built here); its
# "pic" folder is the skin when the build made one.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
build=build/win64
steps=50
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --steps) steps=$2; shift 2 ;;
        *) echo "usage: bench/win/paint-bench.sh [--build DIR] [--steps N]" >&2; exit 2 ;;
    esac
done
cmake --build "$build" --target Tamsel tamsel_vcam tamsel_bench_paint >/dev/null
state=build/wine/bench-paint
# Tall enough for the whole 800 x 800 window.
scripts/winenv.sh start "$state" --screen 1024x900
trap 'scripts/winenv.sh stop build/wine/bench-paint' EXIT

echo "date:     $(date -Is)"
echo "machine:  $(nproc) processors, $(lscpu | sed -n 's/^Model name: *//p'), $(wine --version), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "commit:   $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
TAMSEL_EXE=$top/$build/Tamsel.exe TAMSEL_VCAM_DLL=$top/$build/tools/vcam/tamsel_vcam.dll \
    scripts/winenv.sh exec "$state" -- wine "$build/bench/win/tamsel_bench_paint.exe" --steps "$steps" \
    2>>"$state/wine.log"
