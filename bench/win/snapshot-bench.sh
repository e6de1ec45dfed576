#!/usr/bin/env bash
# Snapshot latency and memory of the real program under Wine, against cjpeg
# encoding the same frame at quality 100 in the same run (docs/benchmarks.md,
# "Snapshot"):
#   latency goal: median UM_SNAPSHOT -> renamed file <= one frame interval
#                 (33.3 ms at 30 fps) + 1.5 x cjpeg's time for that frame
#   memory goal:  peak above idle during a 2592 x 1944 snapshot
#                 <= 4 x the frame's BGR size
# then the JPEG encoders at hand on the 2592 x 1944 frame (tamsel_bench_jpeg)
# beside cjpeg -quality 100 in 4:2:0 and 4:4:4.
#
#   bench/win/snapshot-bench.sh [--build DIR] [--snapshots N]
#
# DIR is a MinGW x86_64 build tree (default build/bench-win64, configured and
# built here); Wine runs in build/wine/bench-snapshot.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
build=build/bench-win64
snapshots=30
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --snapshots) snapshots=$2; shift 2 ;;
        *) echo "usage: bench/win/snapshot-bench.sh [--build DIR] [--snapshots N]" >&2; exit 2 ;;
    esac
done
command -v cjpeg >/dev/null || { echo "cjpeg missing (libjpeg-turbo-progs)" >&2; exit 1; }

if [ "$build" = build/bench-win64 ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release "-DTAMSEL_TEST_DIRS=tools/driver;tools/vcam;bench/win" >/dev/null
    cmake --build "$build" --target Tamsel tamsel_vcam tamsel_bench_snapshot tamsel_bench_jpeg >/dev/null
fi
state=build/wine/bench-snapshot
frames=$top/$state/frames
scripts/winenv.sh start "$state" --screen 1024x768
trap 'scripts/winenv.sh stop build/wine/bench-snapshot' EXIT
rm -rf "$frames"
mkdir -p "$frames"

echo "date:     $(date -Is)"
echo "machine:  $(nproc) processors, $(lscpu | sed -n 's/^Model name: *//p'), $(wine --version), $(cjpeg -version 2>&1 | head -n1)"
echo "commit:   $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
out=$(TAMSEL_EXE=$top/$build/Tamsel.exe TAMSEL_VCAM_DLL=$top/$build/tools/vcam/tamsel_vcam.dll \
    scripts/winenv.sh exec "$state" -- wine "$build/bench/win/tamsel_bench_snapshot.exe" \
    --frames "$(scripts/winenv.sh exec "$state" -- winepath -w "$frames")" --snapshots "$snapshots" \
    2>>"$state/wine.log")
echo "$out"

# cjpeg on each kept frame: the median of 21 runs, in milliseconds; more
# options (-sample 1x1) after the file.
cjpeg_ms() {
    python3 - "$@" <<'PY'
import subprocess, sys, time, statistics
times = []
for _ in range(21):
    t = time.perf_counter()
    subprocess.run(["cjpeg", "-quality", "100", *sys.argv[2:], "-outfile", "/dev/null", sys.argv[1]], check=True)
    times.append((time.perf_counter() - t) * 1000)
print(f"{statistics.median(times):.1f}")
PY
}
echo
for size in 640x480 2592x1944; do
    line=$(echo "$out" | grep "^snapshot $size ") || { echo "no result for $size"; continue; }
    median=$(echo "$line" | sed -n 's/.*median \([0-9.]*\) ms.*/\1/p')
    peak=$(echo "$line" | sed -n 's/.*peak \([0-9]*\) KB.*/\1/p')
    frame=$(echo "$line" | sed -n 's/.*frame BGR \([0-9]*\) KB.*/\1/p')
    cj=$(cjpeg_ms "$frames/frame-$size.bmp")
    python3 - "$size" "$median" "$cj" "$peak" "$frame" <<'PY'
import sys
size, median, cj, peak, frame = sys.argv[1], *map(float, sys.argv[2:])
bound = 33.3 + 1.5 * cj
print(f"{size}: snapshot median {median:.1f} ms; cjpeg -quality 100 {cj:.1f} ms; "
      f"bound 33.3 + 1.5 x {cj:.1f} = {bound:.1f} ms; ratio {median / bound:.2f} "
      f"({'met' if median <= bound else 'NOT met'})")
print(f"{size}: peak memory above idle {peak:.0f} KB = {peak / frame:.2f} x the frame's BGR size "
      f"(goal 4.00: {'met' if peak <= 4 * frame else 'NOT met'})")
PY
done

# The JPEG encoders at hand on the large frame (docs/benchmarks.md (i)),
# with cjpeg at quality 100 in 4:2:0 and 4:4:4 beside them.
big=$frames/frame-2592x1944.bmp
if [ -f "$big" ]; then
    echo
    scripts/winenv.sh exec "$state" -- wine "$build/bench/win/tamsel_bench_jpeg.exe" \
        "$(scripts/winenv.sh exec "$state" -- winepath -w "$big")" 21 2>>"$state/wine.log"
    for sample in 2x2 1x1; do
        out=$frames/cjpeg-$sample.jpg
        cjpeg -quality 100 -sample "$sample" -outfile "$out" "$big"
        echo "cjpeg -quality 100 -sample $sample: median $(cjpeg_ms "$big" -sample "$sample") ms, $(stat -c %s "$out") bytes"
    done
fi
