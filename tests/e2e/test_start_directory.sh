#!/usr/bin/env bash
# Where the game is started matters: without a DATA folder there (or with a file named DATA) the
# report says so and names the directory it looked in, in error.txt there and exit code 1; a start
# directory whose path is longer than 1023 bytes works like any other.
source "$(dirname "$0")/lib.sh"
START="$WORK/start"
cp "$SOURCE/scripts/default_settings.ini" "$START/settings.ini"
mv "$START/DATA" "$WORK/DATA"

check_no_data() {
  start_game
  wait_exit
  [ "$EXIT_CODE" = 1 ] || fail "$1: exit code $EXIT_CODE, wanted 1"
  [ -f "$START/error.txt" ] || fail "$1: no error.txt in the start directory"
  head -1 "$START/error.txt" | grep -qxF "Unable to find the DATA folder in \"$START\"." ||
    fail "$1: report: $(head -3 "$START/error.txt")"
  grep -q "UNAVOIDABLE ERROR!!!" "$WORK/stderr" || fail "$1: the report was not shown"
  rm -f "$START/error.txt"
}
check_no_data "no DATA folder"
echo "not a folder" > "$START/DATA"
check_no_data "DATA is a file"
rm "$START/DATA"

# A start directory of about 1300 bytes, made of components of 200 bytes.
deep="$WORK/start"
while [ ${#deep} -lt 1300 ]; do deep="$deep/$(printf 'd%.0s' $(seq 1 200))"; done
mkdir -p "$deep"
mv "$WORK/DATA" "$deep/DATA"
printf '[screen]\nis_windowed=true\nleft=10\ntop=10\nright=650\nbottom=490\nwidth=640\nheight=480\ndepth=32\n' \
  > "$deep/settings.ini"
(cd "$deep" && HARNVALE_QUIT_AFTER_FRAMES=3 exec "$GAME" >"$WORK/stdout" 2>"$WORK/stderr") &
GAME_PID=$!
wait_exit
[ "$EXIT_CODE" = 0 ] || fail "long start directory: exit code $EXIT_CODE: $(head -3 "$deep/DATA/error.txt" 2>/dev/null)"
# The settings written back at exit land in the long directory, completed.
case "$(ini_value "$deep/settings.ini" screen is_windowed)" in
  true | 1) ;;
  *) fail "long start directory: settings.ini was not read (the window mode is lost)" ;;
esac
[ -n "$(ini_value "$deep/settings.ini" misc show_names)" ] || fail "long start directory: settings.ini not written back"
echo "start directory: ok"
