#!/usr/bin/env bash
# The whole chain on Windows, under Wine: vemor-sim behind COM10, vemor.exe opened and
# capturing through its real window (clicks on an X display), the capture byte for byte what
# was sent, its decoding by vemor-decode.exe, and a screenshot of the window showing values
# and traces (kept as window.png in the work folder).
# usage: wine-e2e.sh WINE_RUN WINEPREFIX VEMOR_EXE DECODE_EXE SIM WORK_FOLDER
set -euo pipefail
wine_run=$1 prefix=$2 vemor=$3 decode=$4 sim=$5 work=$6
source "$(dirname "$0")/../../scripts/desktop.sh"

frames=600
desktop_work_folder "$work"

fail() {
    echo "wine-e2e: $*" >&2
    local f
    for f in sim.log vemor.log; do
        echo "--- $f" >&2
        cat "$f" >&2 || true
    done
    exit 1
}

if [[ -z ${DISPLAY:-} ]]; then
    desktop_start_xvfb "$work/xvfb.log"
    children+=("$xvfb_pid")
fi
desktop_build_closer "$work"

# The test prefix's COM10 is ours: a link left by a simulator that was killed may lead to
# someone else's terminal by now.
rm -f "$prefix/dosdevices/com10"
# Held until the capture runs, so that the capture must hold every byte sent.
"$sim" --any-baud --link "$prefix/dosdevices/com10" --hold --frames "$frames" \
    --sent sent.bin >sim.log 2>&1 &
sim_pid=$!
children+=("$sim_pid")
wait_for 10 grep -q '^waiting: ' sim.log || fail "the simulator did not start"

"$wine_run" "$vemor" >vemor.log 2>&1 &
vemor_pid=$!
children+=("$vemor_pid")
wait_for 60 desktop_find_window || fail "no window titled Vemor"

desktop_click_button open
wait_for 10 grep -q '^held: ' sim.log || fail "Open did not set the line"
desktop_click_button save
wait_for 10 test -e 'TMP1.$$$' || fail "Save File made no capture"
kill -USR1 "$sim_pid"
wait_for 30 grep -q '^sent: ' sim.log || fail "the simulator did not finish"
wait_for 10 bash -c "! kill -0 $sim_pid 2>/dev/null" || fail "the simulator did not end"
sleep 0.5 # one folded repaint
import -window root window.png

desktop_close_window "$vemor_pid" || fail "the window did not close"

# The capture: a 16-byte header with both times, then exactly the bytes sent.
[[ -s sent.bin ]] || fail "nothing was sent"
tail -c +17 'TMP1.$$$' | cmp - sent.bin || fail "the capture differs from what was sent"
[[ $(head -c 16 'TMP1.$$$' | tr -d '\0' | wc -c) -ge 14 ]] || fail "start or stop time missing"
info=$("$wine_run" "$decode" --info 'TMP1.$$$' 2>/dev/null)
grep -qx "frames: $frames" <<<"$info" || fail "vemor-decode.exe found: $info"

# The screenshot shows the traces in their colours: yellow RPM, red PW, lime O2, blue TPS.
colours=$(convert window.png -format %c histogram:info:-)
for colour in '#FFFF00' '#FF0000' '#00FF00' '#0000FF'; do
    count=$(grep -i "$colour" <<<"$colours" | head -1 | awk '{print $1}' | tr -d ':')
    ((${count:-0} > 100)) || fail "no trace drawn in $colour"
done
# Stopping in mid-stream, by Close and by closing the window: the capture holds every byte
# sent but those the simulator says were never read from the line.
cut_short() { # <close|destroy> <capture name>
    local how=$1 name=$2 log=sim-$1.log
    rm -f "$prefix/dosdevices/com10"
    "$sim" --any-baud --link "$prefix/dosdevices/com10" --hold --sent "sent-$how.bin" >"$log" 2>&1 &
    local pid=$!
    children+=("$pid")
    wait_for 10 grep -q '^waiting: ' "$log" || fail "$how: the simulator did not start"
    "$wine_run" "$vemor" >"vemor-$how.log" 2>&1 &
    local vpid=$!
    children+=("$vpid")
    wait_for 60 desktop_find_window || fail "$how: no window titled Vemor"
    desktop_click_button open
    wait_for 10 grep -q '^held: ' "$log" || fail "$how: Open did not set the line"
    desktop_click_button save
    wait_for 10 test -e "$name" || fail "$how: Save File made no capture $name"
    kill -USR1 "$pid"
    sleep 2
    if [[ $how == close ]]; then
        desktop_click_button open # reads "Close" now
        wait_for 10 grep -q '^line down: ' "$log" || fail "$how: Close did not close the line"
        desktop_close_window "$vpid" || fail "$how: the window did not close"
    else
        desktop_close_window "$vpid" || fail "$how: the window did not close"
        wait_for 10 grep -q '^line down: ' "$log" || fail "$how: the line stayed open"
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    local unread
    unread=$(sed -n 's/^line down: .*at least \([0-9]*\) bytes.*/\1/p' "$log" | head -1)
    local sent read body
    sent=$(stat -c %s "sent-$how.bin")
    read=$((sent - ${unread:-0}))
    body=$(($(stat -c %s "$name") - 16))
    ((sent > 6000)) || fail "$how: only $sent bytes were sent in two seconds"
    ((body == read)) || fail "$how: the capture holds $body bytes of the $read read ($sent sent)"
    tail -c +17 "$name" | cmp - <(head -c "$read" "sent-$how.bin") ||
        fail "$how: the capture differs from what was read"
    echo "wine-e2e: $how in mid-stream: $body bytes captured of $read read (${unread:-0} unread)"
}
cut_short close 'TMP2.$$$'
cut_short destroy 'TMP3.$$$'

echo "wine-e2e: $frames frames captured byte for byte; window shown in $work/window.png"
