#!/usr/bin/env bash
# The import check itself, on a small program built in both forms and for
# both targets: as it is, the threads runtime imports GetTickCount64 and the
# check must fail naming it; with the XP stand-in linked in, it must pass.
#   checker-test.sh CHECKER LIST PROBE_DIR
set -uo pipefail
checker=${1:?checker} list=${2:?list} dir=${3:?probe folder}
failures=0
for arch in x86_64 i686; do
    out=$("$checker" "$list" "$dir/probe-plain-$arch.exe"); rc=$?
    echo "$out"
    if [ $rc -ne 1 ] || ! grep -q 'KERNEL32.dll!GetTickCount64$' <<<"$out"; then
        echo "FAILED: $arch: the check let GetTickCount64 through (exit $rc)"
        failures=$((failures + 1))
    fi
    out=$("$checker" "$list" "$dir/probe-xp-$arch.exe"); rc=$?
    echo "$out"
    if [ $rc -ne 0 ]; then
        echo "FAILED: $arch: the program with the XP stand-in did not pass (exit $rc)"
        failures=$((failures + 1))
    fi
done
exit $((failures > 0))
