#!/usr/bin/env bash
# The editor's --dialog on a real X display: the window appears with its caption, an edit typed
# into the focused Quantity box is rendered and recorded when Return presses OK, and Escape
# cancels with exit status 130 and no output. Screenshots of the dialog at its default and at a
# larger size go to the screenshot folder.
#
#   dialog_window_test.sh LUMERAY INPUT_IMAGE SCREENSHOT_FOLDER
set -euo pipefail
lumeray=$1
input=$2

shots=$3
name=dialog_window_test
source "$(dirname "$0")/window_test_setup.sh"

# Starts a dialog run in the background and waits for its window; sets pid and wid.
open_dialog() {
  "$lumeray" apply "$input" "$@" --dialog --quiet &
  pid=$!
  wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Lumeray Pro 2$' | head -n 1) ||
    fail "no window titled 'Lumeray Pro 2' appeared"
  xdotool windowfocus --sync "$wid"
  sleep 1  # the first paint
}

# Waits for the run to end; sets status.
finish() {
  status=0
  wait "$pid" || status=$?
}

# OK: the typed Quantity is rendered and recorded.
open_dialog "$work/ok.png" --record "$work/ok.json"
xdotool windowmove --sync "$wid" 0 0
sleep 0.5
import -window "$wid" "$shots/dialog-default.png"
xdotool type --delay 50 "23"
xdotool windowsize --sync "$wid" 1400 1150
sleep 1
import -window "$wid" "$shots/dialog-larger.png"
xdotool key Return
finish
[ "$status" -eq 0 ] || fail "OK ended with status $status"
[ -s "$work/ok.png" ] || fail "OK wrote no output"
grep -q '"name": "quantity", "type": "UntF", "unit": "#Prc", "value": 23}' "$work/ok.json" ||
  fail "the recorded quantity is not the typed 23: $(cat "$work/ok.json")"
"$lumeray" apply "$input" "$work/direct.png" --quantity 23 --quiet
cmp -s "$work/ok.png" "$work/direct.png" || fail "OK did not render the edited settings"

# Escape: cancelled, nothing written.
open_dialog "$work/cancel.png"
xdotool key Escape
finish
[ "$status" -eq 130 ] || fail "Escape ended with status $status, not 130"
[ ! -e "$work/cancel.png" ] || fail "a cancelled run wrote its output"

# The live preview: the fitted view, then two steps closer (Ctrl and the pad's +), each screenshot taken
# once the frame has had time to arrive.
open_dialog "$work/preview.png"
xdotool windowmove --sync "$wid" 0 0
sleep 3
import -window "$wid" "$shots/preview-fit.png"
xdotool key ctrl+KP_Add ctrl+KP_Add
sleep 2
import -window "$wid" "$shots/preview-zoomed.png"
xdotool key Escape
finish
[ "$status" -eq 130 ] || fail "Escape after the preview ended with status $status"

# Without any display the option fails with a message instead of crashing.
message=$(env -u DISPLAY -u WAYLAND_DISPLAY "$lumeray" apply "$input" "$work/none.png" --dialog 2>&1) &&
  fail "--dialog without a display succeeded"
case "$message" in *display*) ;; *) fail "no display message: $message" ;; esac

echo "dialog_window_test: passed; screenshots in $shots"
