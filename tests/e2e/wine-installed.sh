#!/usr/bin/env bash
# The installer under Wine as a new user meets it: installed silently, its Start menu entry
# is for all users and starts vemor with the option that records into Documents\Vemor; so
# started, Save File's capture lands there; the uninstaller removes the program and leaves
# the capture.
# usage: wine-installed.sh WINE_RUN WINEPREFIX SETUP_EXE SIM WORK_FOLDER
set -euo pipefail
wine_run=$1 prefix=$2 setup=$3 sim=$4 work=$5
source "$(dirname "$0")/../../scripts/desktop.sh"

desktop_work_folder "$work"
fail() {
    echo "wine-installed: $*" >&2
    cat sim.log vemor.log >&2 2>/dev/null || true
    exit 1
}
if [[ -z ${DISPLAY:-} ]]; then
    desktop_start_xvfb "$work/xvfb.log"
    children+=("$xvfb_pid")
fi
desktop_build_closer "$work"

"$wine_run" "$setup" /S
program="$prefix/drive_c/Program Files/vemor"
for f in vemor.exe vemor-decode.exe README.txt LICENSE.txt uninstall.exe; do
    [[ -f $program/$f ]] || fail "the installer did not install $f"
done
link="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/vemor.lnk"
[[ -f $link ]] || fail "no Start menu entry for all users"
strings -el "$link" | grep -qx -- '--in-documents' || fail "the Start menu entry passes no --in-documents"

# Where Wine keeps this user's Documents, as Windows names it.
documents=$("$wine_run" cmd.exe /c echo %USERPROFILE%\\Documents | tr -d '\r')
captures=$("$wine_run" winepath.exe -u "$documents\\Vemor" | tr -d '\r')
rm -rf "$captures"

rm -f "$prefix/dosdevices/com10"
"$sim" --any-baud --link "$prefix/dosdevices/com10" --frames 50 >sim.log 2>&1 &
children+=("$!")
wait_for 10 grep -q '^waiting: ' sim.log || fail "the simulator did not start"
"$wine_run" "$program/vemor.exe" --in-documents >vemor.log 2>&1 &
vemor_pid=$!
children+=("$vemor_pid")
wait_for 60 desktop_find_window || fail "no window titled Vemor"
desktop_click_button open
desktop_click_button save
wait_for 10 test -e "$captures/TMP1.\$\$\$" || fail "Save File made no capture in $captures"
desktop_close_window "$vemor_pid" || fail "the window did not close"

# The uninstaller goes on in a copy of itself after it returns.
"$wine_run" "$program/uninstall.exe" /S
wait_for 30 test ! -e "$program/vemor.exe" || fail "the uninstaller left vemor.exe"
[[ ! -e $link ]] || fail "the uninstaller left the Start menu entry"
[[ -s $captures/TMP1.\$\$\$ ]] || fail "the uninstaller removed the capture"
echo "wine-installed: the Start menu's vemor recorded into $documents\\Vemor; uninstalled, the capture stays"
