#!/usr/bin/env bash
# The x64 installer under Wine, silent (/S), in the environment STATE made by
# winenv.sh: what it installs and registers, that the installed program
# keeps its settings in the folder the registry names, that an install over
# a running copy asks that copy to quit and replaces its files, and that the
# uninstaller removes the program but not the user's pictures and settings;
# the installed manual opens from the setup dialog through the shell.
# The installers are built here from copies of the build tree (Tamsel.exe,
# pic, "User Manual.pdf"); the second one carries changed files.
#   installer-test.sh STATE TAMSEL.NSI WIN64_BUILD_TREE WORKDIR
set -uo pipefail
state=${1:?wine environment}
nsi=${2:?installer script}
tree=${3:?x86_64 build tree}
work=${4:?work folder}
here=$(cd "$(dirname "$0")" && pwd)
winenv=$here/../../scripts/winenv.sh
tdriver=$tree/tools/driver/tdriver.exe
folder_name="Tamsel Test Settings" # not the program's default, so the key is what counts
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VarnexApplication'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
UM_QUIT=0x4AA

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
    if [ $failures -ne 0 ]; then echo "$failures failed"; exit 1; fi
    echo "installer checks passed"; exit 0
}
we() { "$winenv" exec "$state" -- "$@"; }
# Polls COMMAND every 0.2 s, at most N times.
poll() { local n=$1; shift; for ((i = 0; i < n; i++)); do "$@" && return 0; sleep 0.2; done; return 1; }

rm -rf "$work" && mkdir -p "$work"
for tool in makensis "$tdriver"; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool not found"; exit 1; }
done
prefix=$(. "$state/env" && echo "$WINEPREFIX")
progdir="$prefix/drive_c/Program Files/Tamsel"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tamsel"
user=$(ls "$prefix/drive_c/users" | grep -vx Public | head -n1)
appdata="$prefix/drive_c/users/$user/AppData/Roaming"
pictures="$prefix/drive_c/users/$user/Pictures"

# -- two builds to install ---------------------------------------------------
stage() { # DIR MARKER
    mkdir -p "$1"
    cp "$tree/Tamsel.exe" "$1/"
    if [ -d "$tree/pic" ]; then cp -r "$tree/pic" "$1/"; else mkdir "$1/pic" && echo skin >"$1/pic/App.png"; fi
    if [ -f "$tree/User Manual.pdf" ]; then cp "$tree/User Manual.pdf" "$1/"; else echo manual >"$1/User Manual.pdf"; fi
    if [ -n "$2" ]; then # bytes after the image change the file, not the program
        printf '%s' "$2" >>"$1/Tamsel.exe"
        printf '%s' "$2" >>"$1/User Manual.pdf"
        echo "$2" >"$1/pic/$2.png"
    fi
}
stage "$work/v1" ""
stage "$work/v2" "second-build"
[ -d "$tree/pic" ] || echo "note: $tree has no pic folder; a stand-in skin is installed"
build_setup() { # STAGE OUT
    makensis -V2 -DARCH=x64 -DSRCDIR="$1" -DVERSION=1.0.1.9 -DOUTFILE="$2" \
        "-DAPP_FOLDER_NAME=$folder_name" "$nsi"
}
build_setup "$work/v1" "$work/setup-v1.exe" || { fail "makensis failed"; finish; }
build_setup "$work/v2" "$work/setup-v2.exe" || { fail "makensis failed"; finish; }
# Without a skin there is nothing to package, and makensis says why.
mkdir -p "$work/noskin" && cp "$tree/Tamsel.exe" "$work/v1/User Manual.pdf" "$work/noskin/"
if build_setup "$work/noskin" "$work/noskin.exe" >"$work/noskin.log" 2>&1; then
    fail "an installer was built without a pic folder"
else
    grep -q "no skin folder" "$work/noskin.log" || fail "makensis without pic: $(cat "$work/noskin.log")"
fi

reg_value() { # KEY NAME
    we wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
check_installed() { # STAGE
    cmp -s "$1/Tamsel.exe" "$progdir/Tamsel.exe" || fail "installed Tamsel.exe is not the one of $1"
    cmp -s "$1/User Manual.pdf" "$progdir/User Manual.pdf" || fail "installed manual is not the one of $1"
    diff -r "$1/pic" "$progdir/pic" >/dev/null || fail "installed pic differs from $1/pic"
    [ -f "$progdir/uninstall.exe" ] || fail "no uninstall.exe"
}
# Starts the installed program hidden; its wine process id in app_pid.
app_pid=""
start_app() {
    # Not through a function: $! must be the program's own process.
    "$winenv" exec "$state" -- wine 'C:\Program Files\Tamsel\Tamsel.exe' -h 2>>"$work/tamsel.err" &
    app_pid=$!
    poll 100 we wine "$tdriver" find >/dev/null 2>&1 || fail "the program's window did not appear"
}
# Waits, bounded, for the program to end; its exit code in app_rc.
wait_app() {
    app_rc=""
    poll 100 eval '! kill -0 $app_pid 2>/dev/null' || { fail "the program is still running"; return 1; }
    wait "$app_pid"; app_rc=$?
    app_pid=""
}
# A copy left running by a failed check is asked to quit, then ended.
stop_app() {
    [ -n "$app_pid" ] || return 0
    we wine "$tdriver" post $UM_QUIT >/dev/null 2>&1
    poll 25 eval '! kill -0 $app_pid 2>/dev/null' || kill "$app_pid" 2>/dev/null
}
trap stop_app EXIT

# The environment may hold an earlier run's install and settings.
rm -rf "$progdir" "$menu" "$appdata/$folder_name" "$appdata/Corvane Varnex" "$pictures/26-01-02-0000.jpg"
we wine reg delete "$uninst_key" /f >/dev/null 2>&1
we wine reg delete "$run_key" /v Tamsel /f >/dev/null 2>&1

# -- 1. silent install -------------------------------------------------------
we wine "$work/setup-v1.exe" /S || fail "setup-v1 /S exited with $?"
check_installed "$work/v1"
for link in Tamsel "User Manual" "Uninstall Tamsel"; do
    [ -f "$menu/$link.lnk" ] || fail "no Start menu shortcut $link.lnk"
done
strings -a "$menu/Tamsel.lnk" | grep -qF 'C:\Program Files\Tamsel\Tamsel.exe' \
    || fail "Tamsel.lnk does not point at the program"
while IFS='|' read -r name want; do
    got=$(reg_value "$uninst_key" "$name")
    [ "$got" = "$want" ] || fail "uninstall key $name = '$got', expected '$want'"
done <<EOF
AppFolderName|$folder_name
DisplayName|Tamsel
DisplayVersion|1.0.1.9
Publisher|Varnex
DisplayIcon|C:\Program Files\Tamsel\Tamsel.exe,0
UninstallString|"C:\Program Files\Tamsel\uninstall.exe"
EOF
got=$(reg_value "$run_key" Tamsel)
[ "$got" = '"C:\Program Files\Tamsel\Tamsel.exe" -h' ] || fail "Run value Tamsel = '$got'"

# -- 2. the installed program keeps its settings where the key says ---------
start_app
we wine "$tdriver" quit 15000 >/dev/null 2>&1 || fail "tdriver quit: the program did not end"
wait_app && [ "$app_rc" = 0 ] || fail "the program ended with '$app_rc' after UM_QUIT"
[ -f "$appdata/$folder_name/setup.ini" ] || fail "no setup.ini in %APPDATA%\\$folder_name"
[ -e "$appdata/Corvane Varnex" ] && fail "settings went to the default folder"

# -- 2b. the installed manual opens from the setup dialog -------------------
# A .pdf handler of the test's own records what the shell opens with it.
# Wine's classes root does not read the user's classes, so it goes into the
# prefix's machine classes, and the entry found there is put back after.
cat >"$work/record.bat" <<'BAT'
@echo %~1>>"%~dp0manual-open.txt"
BAT
rm -f "$work/manual-open.txt"
pdf_classes='HKLM\Software\Classes'
pdf_before=$(we wine reg query "$pdf_classes\.pdf" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p')
we wine reg add "$pdf_classes\.pdf" /ve /d TamselTestPdf /f >/dev/null 2>&1
we wine reg add "$pdf_classes\TamselTestPdf\shell\open\command" /ve \
    /d "\"$(we winepath -w "$work/record.bat" 2>/dev/null)\" \"%1\"" /f >/dev/null 2>&1
# The window opens as from the notification area; without a camera it says
# so first.
start_app
UM_EXTERN_CLICK=0x475
IDC_BTN_SETUP=1002
IDC_SETUP_USER_MANUAL=1028
we wine "$tdriver" post $UM_EXTERN_CLICK >/dev/null 2>&1 || fail "the program's window is gone"
answer_and_press() { we wine "$tdriver" answer >/dev/null 2>&1; we wine "$tdriver" press $IDC_BTN_SETUP 1000 >/dev/null 2>&1; }
poll 20 answer_and_press || fail "no setup button to press"
we wine "$tdriver" press $IDC_SETUP_USER_MANUAL 10000 >/dev/null 2>&1 || fail "no setup dialog with a manual button"
if poll 100 grep -qF 'C:\Program Files\Tamsel\User Manual.pdf' "$work/manual-open.txt" 2>/dev/null; then
    :
else
    fail "the manual was not opened through the shell: $(cat "$work/manual-open.txt" 2>&1)"
fi
we wine "$tdriver" quit 15000 >/dev/null 2>&1 || fail "tdriver quit: the program did not end"
wait_app
if [ -n "$pdf_before" ]; then
    we wine reg add "$pdf_classes\.pdf" /ve /d "$pdf_before" /f >/dev/null 2>&1
else
    we wine reg delete "$pdf_classes\.pdf" /f >/dev/null 2>&1
fi
we wine reg delete "$pdf_classes\TamselTestPdf" /f >/dev/null 2>&1

# -- 3. installing over a running copy --------------------------------------
start_app
we wine "$work/setup-v2.exe" /S /NOAUTOSTART || fail "setup-v2 /S exited with $?"
# The installer has returned: the copy must already be gone, having quit
# (exit code 0), not been killed.
if kill -0 "$app_pid" 2>/dev/null; then
    fail "the running copy was not closed by the installer"
    we wine "$tdriver" post $UM_QUIT >/dev/null 2>&1
    wait_app
else
    wait_app; [ "$app_rc" = 0 ] || fail "the running copy ended with '$app_rc'"
fi
check_installed "$work/v2"
[ -z "$(reg_value "$run_key" Tamsel)" ] || fail "/NOAUTOSTART left the Run value"

# -- 4. silent uninstall -----------------------------------------------------
we wine "$work/setup-v2.exe" /S || fail "setup-v2 /S exited with $?"
[ -n "$(reg_value "$run_key" Tamsel)" ] || fail "an install with the option did not set the Run value"
mkdir -p "$pictures" && echo picture >"$pictures/26-01-02-0000.jpg"
start_app
we wine 'C:\Program Files\Tamsel\uninstall.exe' /S || fail "uninstall /S exited with $?"
# The uninstaller goes on from a copy of itself in the temporary folder;
# removing the uninstall key is the last thing it does.
poll 60 eval '! we wine reg query "$uninst_key" >/dev/null 2>&1' || fail "the uninstall key is still there"
[ ! -e "$progdir" ] || fail "the program folder is still there: $(ls "$progdir" 2>&1)"
poll 50 eval '! kill -0 $app_pid 2>/dev/null' || fail "the uninstaller left the program running"
wait_app; [ "$app_rc" = 0 ] || fail "the program ended with '$app_rc' during the uninstall"
[ ! -e "$menu" ] || fail "the Start menu folder is still there"
[ -z "$(reg_value "$run_key" Tamsel)" ] || fail "the uninstaller left the Run value"
[ -f "$pictures/26-01-02-0000.jpg" ] || fail "the uninstaller removed a picture"
[ -f "$appdata/$folder_name/setup.ini" ] || fail "the uninstaller removed the settings"
finish
