#!/usr/bin/env bash
# The benchmarks, outside the build and test run (docs/benchmarks.md):
#   native  YUY2 to BGR of a 2592x1944 frame against libyuv (Google Benchmark);
#           the NMEA parser on real receiver logs against memchr
#   win     under Wine: the grabber callback with nothing armed against an
#           empty callback, and the arm-to-image latency of a still capture
# Before timing, every conversion path this processor has is checked against
# the double formula for every (Y, U, V): natively and in the MinGW build.
#
#   scripts/bench.sh [native|win|all]        default: all
#
# Installs libbenchmark-dev and libyuv-dev when they are missing (libyuv is
# the yardstick only: the program and its tests never link it). Builds in
# build/bench-native and build/bench-win64, runs Wine in build/wine/bench,
# and keeps the output in build/bench-native/results/.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
what=${1:-all}
case $what in native|win|all) ;; *) echo "usage: scripts/bench.sh [native|win|all]" >&2; exit 2 ;; esac

packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev libyuv-dev)
[ "$what" != native ] && packages+=(g++-mingw-w64-x86-64-posix wine wine64 xvfb)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

mkdir -p build/bench-native/results
out=build/bench-native/results/bench-$(date +%Y%m%d-%H%M%S).txt
exec > >(tee "$out") 2>&1

echo "date:     $(date -Is)"
echo "machine:  $(uname -n), $(nproc) processors, $(lscpu | sed -n 's/^Model name: *//p'), $(uname -sr)"
echo "commit:   $(git rev-parse --short HEAD 2>/dev/null || echo unknown)$(git diff --quiet HEAD -- 2>/dev/null || echo ' (with local changes)')"
echo "command:  scripts/bench.sh $what"

native() {
    echo
    echo "== native: $(g++ --version | head -n1), libyuv $(dpkg-query -W -f='${Version}' libyuv-dev)"
    cmake -S . -B build/bench-native -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMSEL_BUILD_BENCH=ON >/dev/null
    cmake --build build/bench-native --target tamsel_unit tamsel_bench_convert tamsel_bench_nmea >/dev/null
    for cap in "" ssse3 none; do
        echo "-- exhaustive conversion test, TAMSEL_YUY2_SIMD=${cap:-unset, the best the processor has}"
        TAMSEL_YUY2_SIMD=$cap build/bench-native/tamsel_unit --gtest_brief=1 \
            --gtest_filter='Yuy2ToBgr.*:StillImage.*' | tail -n 1
    done
    echo "-- (a) YUY2 to BGR, 2592x1944"
    build/bench-native/bench/tamsel_bench_convert --benchmark_color=false
    # The same conversion held to SSSE3 (processors without AVX2) and to
    # the formula alone (the conversion as it was before the vector paths).
    for cap in ssse3 none; do
        echo "-- (a) Tamsel only, TAMSEL_YUY2_SIMD=$cap"
        TAMSEL_YUY2_SIMD=$cap build/bench-native/bench/tamsel_bench_convert --benchmark_color=false \
            --benchmark_filter=BM_Tamsel_Yuy2ToBgrRow --benchmark_repetitions=9 | grep -E '_median|bit-exact'
    done
    echo "-- (d) NMEA parser on the receiver logs against memchr"
    build/bench-native/bench/tamsel_bench_nmea --benchmark_color=false
}

win() {
    echo
    echo "== Windows side: $(x86_64-w64-mingw32-g++-posix --version | head -n1), $(wine --version)"
    cmake -S . -B build/bench-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release "-DTAMSEL_TEST_DIRS=tools/driver;tools/vcam;bench/win" >/dev/null
    cmake --build build/bench-win64 --target tamsel_vcam tamsel_bench_grabber tamsel_bench_still >/dev/null
    local state=build/wine/bench
    local bin=build/bench-win64/bench/win
    scripts/winenv.sh start "$state" --screen 1024x768
    trap 'scripts/winenv.sh stop build/wine/bench' EXIT
    run() { scripts/winenv.sh exec "$state" -- wine "$@" 2>>"$state/wine.log"; }
    for cap in "" ssse3 none; do
        TAMSEL_YUY2_SIMD=$cap run "$bin/tamsel_bench_still.exe" --check
    done
    echo "-- (b) BufferCB with nothing armed against an empty BufferCB, five runs"
    for i in 1 2 3 4 5; do
        run "$bin/tamsel_bench_grabber.exe"
    done
    echo "-- (c) arm-to-image latency of CaptureStill"
    TAMSEL_VCAM_DLL=$top/build/bench-win64/tools/vcam/tamsel_vcam.dll run "$bin/tamsel_bench_still.exe" --captures 100
}

case $what in
    native) native ;;
    win) win ;;
    all) native; win ;;
esac
echo
echo "kept in $out"
