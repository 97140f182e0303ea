#!/usr/bin/env bash
# A full-screen mode the adapter does not list ends the game with the error report in
# DATA/error.txt and exit code 1, without waiting for anyone; so does a missing settings.ini,
# and a display that cannot be reached (the game must not play on where nobody sees it).
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

# A display nobody serves: asked again for a few seconds, then reported.
cp "$SOURCE/scripts/default_settings.ini" "$WORK/start/settings.ini"
unused=""
for n in $(seq 400 480); do
  free_x_display "$n" && { unused=$n; break; }
done
[ -n "$unused" ] || fail "no unused display number"
DISPLAY=":$unused" start_game
wait_exit
[ "$EXIT_CODE" = 1 ] || fail "unreachable display: exit code $EXIT_CODE, wanted 1"
report="$WORK/start/DATA/error.txt"
head -1 "$report" 2>/dev/null | grep -qx "Unable to create the windowed mode window." ||
  fail "unreachable display: report: $(head -3 "$report" 2>/dev/null)"
grep -q "unable to open the display \":$unused\" (attempt 5 of 5)" "$WORK/stderr" ||
  fail "unreachable display: the attempts were not told: $(cat "$WORK/stderr")"
echo "bad display mode: ok"
