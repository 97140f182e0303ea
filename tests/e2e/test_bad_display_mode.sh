#!/usr/bin/env bash
# A full-screen mode the adapter does not list ends the game with the error report in
# DATA/error.txt and exit code 1, without waiting for anyone; so does a missing settings.ini.
source "$(dirname "$0")/lib.sh"
check_rejected() {
  start_game
  wait_exit; code=$EXIT_CODE
  [ "$code" = 1 ] || fail "$1: exit code $code, wanted 1"
  report="$WORK/start/DATA/error.txt"
  [ -f "$report" ] || fail "$1: no DATA/error.txt"
  head -1 "$report" | grep -qx "The requested display mode is not supported." || fail "$1: report: $(head -3 "$report")"
  grep -q "^FUNCTION: c_core::test_display_mode$" "$report" || fail "$1: no function line"
  grep -q "STUFF YOU NEED TO KNOW" "$report" && fail "$1: the message box block belongs on screen only"
  grep -q "UNAVOIDABLE ERROR!!!" "$WORK/stderr" || fail "$1: the report was not shown"
  rm -f "$report"
}
printf '[screen]\nis_windowed=false\nwidth=0\nheight=0\ndepth=32\nrefresh_rate=60\n' > "$WORK/start/settings.ini"
check_rejected "mode 0 x 0"
printf '[screen]\nis_windowed=false\nwidth=1024\nheight=768\ndepth=32\nrefresh_rate=59\n' > "$WORK/start/settings.ini"
check_rejected "unlisted refresh rate"
rm -f "$WORK/start/settings.ini"
check_rejected "no settings.ini"
[ ! -f "$WORK/start/settings.ini" ] || fail "a failed start must not write settings.ini"
echo "bad display mode: ok"
