#!/usr/bin/env bash
# The settings written at exit reach settings.ini as one replacement. Killed at random moments of
# that write, each of twenty runs leaves the old file or the new one, never a mixture, and the
# temporary file of a killed run is gone once the game has started again.
source "$(dirname "$0")/lib.sh"
KILLER="$(dirname "$XCLOSE")/kill_during_write"
[ -x "$KILLER" ] || fail "kill_during_write is not built next to $XCLOSE"
START="$WORK/start"
export HARNVALE_QUIT_AFTER_FRAMES=2
# The old file holds the window keys only; the write at exit adds the eight others.
printf '[screen]\r\nis_windowed=true\r\nleft=0\r\ntop=0\r\nright=640\r\nbottom=480\r\nwidth=640\r\nheight=480\r\ndepth=32\r\n' \
  > "$WORK/old.ini"

# One whole write gives the new file and how long writing it takes.
cp "$WORK/old.ini" "$START/settings.ini"
out=$("$KILLER" "$START" settings.ini.tmp- -1 "$GAME") || fail "measuring run: $out $(cat "$START/DATA/error.txt" 2>/dev/null)"
took=$(echo "$out" | awk '/^WRITTEN/{print $2}')
cp "$START/settings.ini" "$WORK/new.ini"
grep -q "present_immediate=" "$WORK/new.ini" || fail "the write at exit did not complete settings.ini"
cmp -s "$WORK/old.ini" "$WORK/new.ini" && fail "the new file does not differ from the old one"

RANDOM=10
olds=0 news=0
for run in $(seq 1 20); do
  cp "$WORK/old.ini" "$START/settings.ini"
  delay=$(( RANDOM % (2 * took + 200) ))
  out=$("$KILLER" "$START" settings.ini.tmp- "$delay" "$GAME")
  case $? in
    0) ;;
    3) fail "run $run: a temporary file of the run before outlived this start: $out" ;;
    *) fail "run $run: the game was not killed during its write: $out" ;;
  esac
  if cmp -s "$START/settings.ini" "$WORK/old.ini"; then
    olds=$((olds + 1))
  elif cmp -s "$START/settings.ini" "$WORK/new.ini"; then
    news=$((news + 1))
  else
    fail "run $run (killed $delay us into the write): settings.ini is neither the old nor the new file:
$(tr '\r' ' ' < "$START/settings.ini")"
  fi
done

# A normal run after the last kill leaves the new file and nothing else.
cp "$WORK/old.ini" "$START/settings.ini"
out=$("$KILLER" "$START" settings.ini.tmp- -1 "$GAME") || fail "last run: $out"
cmp -s "$START/settings.ini" "$WORK/new.ini" || fail "the last run did not write the new file"
leftover=$(cd "$START" && ls settings.ini.tmp-* 2>/dev/null || true)
[ -z "$leftover" ] || fail "temporary files left: $leftover"
echo "settings write killed: ok (write $took us; $olds runs left the old file, $news the new)"
