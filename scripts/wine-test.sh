#!/usr/bin/env bash
# Runs one Windows test program inside a Wine environment made by winenv.sh.
# The program's own debug strings and those of every program it starts reach
# Wine's standard error; they are kept in a file whose path the test program
# gets as TAMSEL_DEBUG_LOG, so tests can assert traces.
#   wine-test.sh STATE EXE [ARGS...]
set -uo pipefail
state=${1:?state folder}
exe=${2:?test program}
shift 2
log="$state/debug-$(basename "$exe" .exe)-$$.log"
: >"$log"
export TAMSEL_DEBUG_LOG=$log
out="$state/output-$(basename "$exe" .exe)-$$.txt"
"$(dirname "$0")/winenv.sh" exec "$state" -- wine "$exe" "$@" 2>"$log" | tee "$out"
rc=${PIPESTATUS[0]}
# A GoogleTest program cut off mid-run (a crashed wineserver) can still end
# with 0: it passed only if it printed its summary.
if [ $rc -eq 0 ] && grep -q '^\[==========\] Running' "$out" && ! grep -q '^\[  PASSED  \]' "$out"; then
    echo "---- the test program ended without its summary ----"
    rc=1
fi
if [ $rc -ne 0 ]; then
    echo "---- last Wine messages ($log) ----"
    grep -v 'OutputDebugStringA\|dispatch_exception' "$log" | tail -n 30
fi
exit $rc
