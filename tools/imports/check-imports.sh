#!/usr/bin/env bash
# Fails, listing them, when a Windows program imports a function on the
# given list (post-xp-functions.txt): such a program does not start on the
# systems that lack it. Reads the import tables with MinGW's objdump, which
# takes both PE32 (i686) and PE32+ (x86_64).
#   check-imports.sh LIST PROGRAM...
# Exit 0: none listed; 1: some imported; 2: a program or the list unreadable.
set -uo pipefail
list=${1:?usage: check-imports.sh LIST PROGRAM...}
shift
[ $# -gt 0 ] || { echo "no program named" >&2; exit 2; }
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
[ -r "$list" ] || { echo "cannot read the list $list" >&2; exit 2; }

status=0
for exe in "$@"; do
    if ! dump=$("$objdump" -p "$exe" 2>&1); then
        echo "$exe: objdump failed: $dump" >&2
        exit 2
    fi
    # DLL!name for every import by name; imports by ordinal have no name.
    imports=$(awk '/^[[:space:]]*DLL Name:/ { dll = $3; rows = 0; next }
                   /vma:[[:space:]]+Hint\/Ord/ { rows = 1; next }
                   rows && NF == 0 { rows = 0 }
                   rows && NF >= 3 { print dll "!" $3 }' <<<"$dump")
    if [ -z "$imports" ]; then
        echo "$exe: no import table found" >&2
        exit 2
    fi
    bad=$(awk -F'!' 'NR == FNR { sub(/[[:space:]]*#.*/, ""); if ($0 != "") listed[$0] = 1; next }
                     listed[$2]' "$list" - <<<"$imports")
    count=$(wc -l <<<"$imports")
    if [ -n "$bad" ]; then
        echo "$exe: imports $(wc -l <<<"$bad") of $count functions that Windows XP or Server 2003 lacks:"
        sed 's/^/  /' <<<"$bad"
        status=1
    else
        echo "$exe: $count imports, none post-XP"
    fi
done
exit $status
