#!/usr/bin/env bash
# `lumeray options` on a real X display: the options dialog opens without an image or a host
# run, OK stores the update-check choice in the registry stand-in, and Escape closes it without
# writing. A screenshot goes to the screenshot folder.
#
#   options_window_test.sh LUMERAY SCREENSHOT_FOLDER
set -euo pipefail
lumeray=$1
shots=$2

name=options_window_test
source "$(dirname "$0")/window_test_setup.sh"

open_options() {
  "$lumeray" options &
  pid=$!
  wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Lumeray Pro 2 Plug-in Options$' |
    head -n 1) || fail "no window titled 'Lumeray Pro 2 Plug-in Options' appeared"
  xdotool windowfocus --sync "$wid"
  sleep 1
}

# Escape: nothing is written.
open_options
import -window "$wid" "$shots/options-window.png"
xdotool key Escape
wait "$pid" || fail "lumeray options ended with status $?"
if grep -qs "UpdateCheckEnabled" "$work/config/lumeray/current-user.ini" &&
  grep -A5 -i "Product Updates" "$work/config/lumeray/current-user.ini" | grep -q "=1"; then
  fail "Escape stored a change"
fi

# Space ticks the focused update check box; Return presses OK and stores it.
open_options
xdotool key space Return
wait "$pid" || fail "lumeray options ended with status $?"
grep -qi "UpdateCheckEnabled.*1" "$work/config/lumeray/current-user.ini" ||
  fail "OK did not store the update check: $(cat "$work/config/lumeray/current-user.ini")"
echo "options_window_test: passed"
