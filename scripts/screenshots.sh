#!/usr/bin/env bash
# Takes the main window's screenshots for the documents (docs/screenshots/)
# with the real skin: both window sizes in live preview with the virtual
# camera, a pressed button, picture review and its delete question, and the
# GPS indicator off, searching (its three frames) and with a fix from a
# simulated receiver.
#
#   scripts/screenshots.sh [--build DIR] [--gpssim-build DIR] [--out DIR]
#
# DIR is a MinGW x86_64 build tree (default build/win64) whose "pic" folder
# holds the rendered skin; the receiver simulator is built natively in
# --gpssim-build (default build/gpssim).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
build=build/win64
simbuild=build/gpssim
out=docs/screenshots
while [ $# -gt 0 ]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --gpssim-build) simbuild=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        *) echo "usage: scripts/screenshots.sh [--build DIR] [--gpssim-build DIR] [--out DIR]" >&2; exit 2 ;;
    esac
done
cmake --build "$build" --target Tamsel tamsel_vcam tamsel_e2e >/dev/null
if [ ! -f "$build/pic/Main-ui-background.png" ]; then
    echo "no skin in $build/pic: build the skin first" >&2
    exit 1
fi
[ -f "$simbuild/build.ninja" ] || cmake -S tools/gpssim -B "$simbuild" -G Ninja >/dev/null
cmake --build "$simbuild" >/dev/null
mkdir -p "$out"
out=$(cd "$out" && pwd)

state=build/wine/screenshots
# Tall enough for the whole 800 x 800 window.
scripts/winenv.sh start "$state" --screen 1024x900 >/dev/null
trap 'scripts/winenv.sh stop build/wine/screenshots' EXIT
TAMSEL_EXE=$top/$build/Tamsel.exe TAMSEL_VCAM_DLL=$top/$build/tools/vcam/tamsel_vcam.dll \
TAMSEL_SCREENSHOTS_DIR=$out \
    tools/gpssim/with-gpssim.sh "$simbuild/gpssim" "$state" tests/data/nmea -- \
    scripts/wine-test.sh "$state" "$build/tests/e2e/tamsel_e2e.exe" \
    --gtest_also_run_disabled_tests --gtest_filter='MainWindowScreenshots.*:ReviewScreenshots.*:SetupScreenshots.*:SubDialogScreenshots.*'
ls -l "$out"
