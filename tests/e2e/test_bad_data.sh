#!/usr/bin/env bash
# Bad data through the real program: settings.ini and DATA/ broken the ways a player's editing,
# a failed copy or a full disk break them. Each case runs the game in its own start folder under
# the X server, played as a player would (past the logo to the menu, the credits, S for a battle,
# then a close request answered with X) unless it ends first. A case passes when the game ends with exit 0, or with exit 1 and an error.txt whose
# first line is a sentence naming the problem (the case's pattern); never by a signal, a hang
# or a sanitizer report. Normal play must have reached a battle. Prints the table of cases, outcomes and sentences, and leaves it in
# bad_data_table.md in the folder the test runs in.
source "$(dirname "$0")/lib.sh"
LIMIT="${HARNVALE_BAD_DATA_TIMEOUT:-120}"
TABLE="$PWD/bad_data_table.md"
ONLY="${HARNVALE_BAD_DATA_ONLY:-}"
ROOT_WINDOW=$(xwininfo -root | awk '/Window id/ {print $4}')
failures=()
rows=()

# ---- mutations, run inside the case's start folder ----------------------------------------

# set_key FILE SECTION KEY VALUE: sets the key in the first section of that name (adding the
# key when missing); VALUE "-" removes the key.
set_key() {
  python3 - "$@" <<'PY'
import sys
path, section, key, value = sys.argv[1:5]
lines = open(path, encoding="latin-1").read().split("\n")
out, in_sec, done, seen = [], False, False, False
for line in lines:
    t = line.strip()
    if t.startswith("["):
        if in_sec and not done and value != "-":
            out.append(f"{key}={value}"); done = True
        in_sec = not seen and t[1:].split("]")[0].strip().lower() == section.lower()
        seen = seen or in_sec
    elif in_sec and not done and "=" in t and t.split("=")[0].strip().lower() == key.lower():
        done = True
        if value != "-":
            out.append(f"{key}={value}")
        continue
    out.append(line)
if in_sec and not done and value != "-":
    out.append(f"{key}={value}")
open(path, "w", encoding="latin-1").write("\n".join(out))
PY
}
# drop_section FILE SECTION: removes the section with its keys.
drop_section() {
  python3 - "$@" <<'PY'
import sys
path, section = sys.argv[1:3]
out, skip = [], False
for line in open(path, encoding="latin-1").read().split("\n"):
    t = line.strip()
    if t.startswith("["):
        skip = t[1:].split("]")[0].strip().lower() == section.lower()
    if not skip:
        out.append(line)
open(path, "w", encoding="latin-1").write("\n".join(out))
PY
}
binary() { head -c 4096 /dev/urandom >"$1"; }
truncate_mid_line() { # keeps the first part of the file, cut inside a line
  local size
  size=$(stat -c %s "$1")
  truncate -s $((size / 3 + 7)) "$1"
}
# A PNG whose header claims an absurd size (100000 x 100000) over a few bytes of data.
huge_png() {
  python3 - "$1" <<'PY'
import struct, sys, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 100000, 100000, 8, 6, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"\0" * 64)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
}
# A TGA whose header claims a colour-mapped 65535 x 65535 picture with a colour map that reaches
# past the file and an RLE stream that is cut short.
crafted_tga() {
  printf '\x00\x01\x09\x00\x00\xff\xff\x18\x00\x00\x00\x00\xff\xff\xff\xff\x08\x20\xff\xff\xff' >"$1"
}

# ---- running one case -----------------------------------------------------------------------

# play DIR OUT: runs the game in DIR as a player would: past the logo to the menu, C for the
# credits and Escape back, S for a battle, then a close request answered with X. Leaves the exit code in PLAY_CODE (137 when it
# had to be killed after LIMIT seconds) and the furthest screen reached in PLAY_REACHED.
play() {
  local dir="$1" out="$2" state="$2/state.txt" win="" deadline=$((SECONDS + LIMIT)) closed=0 credits=0
  local seen="" seen_at=$SECONDS
  (cd "$dir" && HARNVALE_STATE_FILE="$state" exec "$GAME" >"$out/stdout" 2>"$out/stderr") &
  local pid=$!
  PLAY_REACHED="-"
  while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
    if [ -z "$win" ]; then
      win=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1 || true)
      [ -n "$win" ] && xdotool windowfocus "$win" 2>/dev/null || true
      sleep 0.05
      continue
    fi
    # A window that appears while the previous case's window is going away can miss its focus;
    # keys go only to the focused window, so make sure of it before every step.
    [ "$(xdotool getwindowfocus 2>/dev/null || true)" = "$win" ] || xdotool windowfocus "$win" 2>/dev/null || true
    local now logo
    now=$(awk -F= '$1 == "state" {print $2}' "$state" 2>/dev/null || true)
    logo=$(awk -F= '$1 == "logo_phase" {print $2}' "$state" 2>/dev/null || true)
    # The X server may name this window as focused while the game was told it lost the focus
    # (and waits, as it should while inactive); after 15 s on one screen the focus is taken to
    # the root window and given back, which tells the game afresh.
    if [ "$now|$logo" != "$seen" ]; then
      seen="$now|$logo"
      seen_at=$SECONDS
    elif [ $((SECONDS - seen_at)) -ge 15 ]; then
      xdotool windowfocus "$ROOT_WINDOW" 2>/dev/null || true
      sleep 0.2
      xdotool windowfocus "$win" 2>/dev/null || true
      seen_at=$SECONDS
    fi
    if [ "$now" = mainmenu ] && [ "$logo" = true ]; then
      click_at "$win" 500 400 2>/dev/null || true
    elif [ "$now" = mainmenu ] && [ "$credits" = 0 ]; then
      PLAY_REACHED=menu
      press_key c 2>/dev/null || true
    elif [ "$now" = credits ]; then
      credits=1
      press_key Escape 2>/dev/null || true
    elif [ "$now" = mainmenu ]; then
      press_key s 2>/dev/null || true
    elif [ "$now" = gameplay ] && [ $SECONDS -ge $closed ]; then
      # A close request, asked again after 10 s when the battle is still there (as a player
      # would click the close button again).
      PLAY_REACHED=battle
      "$XCLOSE" "$win" 2>/dev/null || true
      closed=$((SECONDS + 10))
    elif [ "$now" = exitscreen ]; then
      press_key x 2>/dev/null || true
    else
      sleep 0.05
    fi
  done
  PLAY_LAST=$(awk -F= '$1 == "state" {print $2}' "$state" 2>/dev/null || true)
  if kill -0 "$pid" 2>/dev/null; then
    # What a hang looked like, for the failure report (best effort: nothing here may fail the suite).
    (
      set +e
      echo "--- hang: window $win, focus $(xdotool getwindowfocus 2>/dev/null)"
      xdotool getwindowgeometry "$win" 2>&1 | tr '\n' ' '
      echo
      grep -E '^(State|voluntary|nonvoluntary)' "/proc/$pid/status" 2>/dev/null | tr '\n' ' '
      echo "wchan $(cat "/proc/$pid/wchan" 2>/dev/null)"
      echo "windows of the X server: $(xwininfo -root -children 2>&1 | grep -E '^ +0x' | tr '\n' ';')"
      for t in /proc/"$pid"/task/*; do echo "thread $(cat "$t/comm" 2>/dev/null) $(cut -d' ' -f3 "$t/stat" 2>/dev/null) $(cat "$t/wchan" 2>/dev/null)"; done
      head -c 600 "$state" 2>/dev/null
      echo "--- stdout/stderr"
      tail -5 "$out/stdout" "$out/stderr" 2>/dev/null
      true
    ) >"$out/hang.txt" 2>&1
    import -window root "$out/hang.png" 2>/dev/null || true
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    PLAY_CODE=137
    return 0
  fi
  PLAY_CODE=0
  wait "$pid" || PLAY_CODE=$?
}

# judge NAME PATTERN DIR OUT: classifies a run, adds its row to the table and its failure, if
# any, to the list.
judge() {
  local name="$1" pattern="$2" dir="$3" out="$4" code="$PLAY_CODE"
  local report="" sentence="" outcome verdict="ok" f
  for f in "$dir/DATA/error.txt" "$dir/error.txt"; do
    [ -f "$f" ] && { report="$f"; break; }
  done
  [ -n "$report" ] && sentence=$(head -1 "$report" | tr -d '\r')
  case "$code" in
    0) outcome="normal play (reached: $PLAY_REACHED)" ;;
    1) outcome="exit 1" ;;
    137) outcome="hang (killed after ${LIMIT} s, last state: ${PLAY_LAST:-none})" ;;
    *) outcome="exit $code" ;;
  esac
  if [ "$code" = 0 ]; then
    [ -z "$report" ] || verdict="error.txt after normal play"
    [ "$PLAY_REACHED" = battle ] || verdict="normal play that never reached a battle"
  elif [ "$code" = 1 ]; then
    if [ -z "$report" ]; then
      verdict="no error.txt"
    elif ! [[ "$sentence" =~ \.$ ]] || ! grep -qiE "$pattern" <<<"$sentence"; then
      verdict="the sentence does not name the problem (/$pattern/)"
    fi
  else
    verdict="$outcome"
  fi
  if grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:|UndefinedBehaviorSanitizer' "$out/stderr"; then
    verdict="sanitizer report: $(grep -m1 -E 'ERROR|runtime error' "$out/stderr")"
  fi
  [ -n "${CHECK_AFTER:-}" ] && [ "$verdict" = ok ] && verdict=$(cd "$dir" && eval "$CHECK_AFTER")
  rows+=("| $name | $outcome | ${sentence:--} |")
  if [ "$verdict" != ok ]; then
    failures+=("$name: $verdict")
    echo "FAIL $name: $verdict" >&2
    sed -n 1,15p "$out/stderr" >&2
    [ -f "$out/hang.txt" ] && cat "$out/hang.txt" >&2
  fi
}

# prepare_case DIR NAME MUTATION: a start folder with DATA and the default settings, mutated.
prepare_case() {
  local dir="$1" name="$2"
  shift 2
  mkdir -p "$dir/start"
  cp -r "$SOURCE/DATA" "$dir/start/DATA"
  cp "$SOURCE/scripts/default_settings.ini" "$dir/start/settings.ini"
  (cd "$dir/start" && eval "$*") || fail "$name: the mutation failed"
}

# run_case NAME PATTERN MUTATION: PATTERN (extended regex, case-insensitive) is what the error
# sentence must contain when the game refuses the data; MUTATION runs in the start folder.
run_case() {
  local name="$1" pattern="$2"
  shift 2
  [ -n "$ONLY" ] && [[ ! " $ONLY " == *" $name "* ]] && return 0
  local dir="$WORK/$name"
  prepare_case "$dir" "$name" "$@"
  play "$dir/start" "$dir"
  judge "$name" "$pattern" "$dir/start" "$dir"
  chmod -R u+w "$dir" 2>/dev/null || true
  [ -n "${HARNVALE_BAD_DATA_KEEP:-}" ] || rm -rf "$dir"
}

# ---- the cases ------------------------------------------------------------------------------

display='display mode|screen|window'
ini_any='\.ini|section|key|value|number|font|texture|picture|image|display|cursor|format'
picture='texture|picture|image|cursor|png|tga|bmp|ico|mousemap'

# settings.ini
run_case settings_missing "$display" rm settings.ini
run_case settings_empty "$display" ': >settings.ini'
run_case settings_binary "$display" binary settings.ini
run_case settings_truncated "$display" truncate_mid_line settings.ini
run_case settings_is_directory "$display" 'rm settings.ini && mkdir settings.ini'
run_case settings_screen_missing "$display" drop_section settings.ini screen
run_case settings_screen_doubled "$display" 'printf "[screen]\nis_windowed=false\nwidth=1\n" >>settings.ini'
run_case settings_width_huge "$display" set_key settings.ini screen width 99999999999
run_case settings_width_negative "$display" set_key settings.ini screen width -1024
run_case settings_size_zero "$display" 'set_key settings.ini screen width 0 && set_key settings.ini screen height 0'
run_case settings_width_text "$display" set_key settings.ini screen width wide
run_case settings_window_overflow "$display" \
  'set_key settings.ini screen left 2147483647 && set_key settings.ini screen right -2147483648'
run_case settings_depth_unknown "$display" set_key settings.ini screen depth 12
run_case settings_adapter_missing "$display|adapter" set_key settings.ini screen adapter 7
run_case settings_debug_out_of_range "$display" set_key settings.ini misc debug -99
CHECK_AFTER='[ "$(stat -c %a settings.ini)" = 444 ] && cmp -s settings.ini ../settings.before && echo ok || echo "the read-only settings.ini was changed"' \
  run_case settings_read_only "$display" 'set_key settings.ini misc debug - && cp settings.ini ../settings.before && chmod 444 settings.ini'
CHECK_AFTER='[ -L settings.ini ] && grep -q "^debug=0" ../real/settings.ini && echo ok || echo "the link was replaced or its file not written"' \
  run_case settings_symlink "$display" \
  'mkdir -p ../real && mv settings.ini ../real/settings.ini && set_key ../real/settings.ini misc debug - && ln -s ../real/settings.ini settings.ini'

# the data folder and its INI files
run_case data_missing 'DATA|data folder|folder|directory' 'rm -rf DATA'
for f in stringtable interface rules credits; do
  run_case "${f}_missing" "$ini_any" rm "DATA/$f.ini"
  run_case "${f}_empty" "$ini_any" ": >DATA/$f.ini"
  run_case "${f}_binary" "$ini_any" binary "DATA/$f.ini"
  run_case "${f}_truncated" "$ini_any" truncate_mid_line "DATA/$f.ini"
done
run_case interface_is_directory "$ini_any" 'rm DATA/interface.ini && mkdir DATA/interface.ini'
run_case stringtable_caption_long "$ini_any" set_key DATA/stringtable.ini main caption "$(printf 'x%.0s' $(seq 1 3000))"
run_case stringtable_label_wrong_conversion 'aub|label|conversion|format' \
  set_key DATA/stringtable.ini gameplay aub "'%s ready %n'"
run_case stringtable_label_two_conversions 'aub|label|conversion|format' \
  set_key DATA/stringtable.ini gameplay aub "'%d of %d'"
run_case interface_font_size_huge 'font' set_key DATA/interface.ini misc font_size 100000
run_case interface_font_size_negative 'font' set_key DATA/interface.ini misc font_size -40
run_case interface_font_name_unknown 'font' "set_key DATA/interface.ini misc font_name 'No Such Face'"
run_case interface_cursors_missing "$picture" drop_section DATA/interface.ini cursors
run_case interface_cursor_numbers_missing "$picture" 'set_key DATA/interface.ini cursors arrow "\"cursors/arrow.png\""'
run_case interface_colour_parts_missing "$ini_any" "set_key DATA/interface.ini gui_settings text0 '255 240'"
run_case interface_sections_doubled "$ini_any" 'cat DATA/interface.ini DATA/interface.ini >x && mv x DATA/interface.ini'
run_case rules_tile_types_zero 'num_tiletypes|tile' set_key DATA/rules.ini tiles num_tiletypes 0
run_case rules_tile_types_huge 'num_tiletypes|tile' set_key DATA/rules.ini tiles num_tiletypes 2000000000
run_case rules_tile_width_zero 'tile_width|tile' set_key DATA/rules.ini tiles tile_width 0
run_case rules_tile_width_text 'tile_width|tile' set_key DATA/rules.ini tiles tile_width broad
run_case rules_tile_format_wrong 'tile_name_format|format|conversion' set_key DATA/rules.ini tiles tile_name_format 'tile_%s'
run_case rules_unit_format_two 'unit_name_format|format|conversion' set_key DATA/rules.ini units unit_name_format 'unit_%d_%d'
run_case rules_unit_types_huge 'num_unittypes|unit' set_key DATA/rules.ini units num_unittypes 100000
run_case rules_unit_types_negative 'num_unittypes|unit' set_key DATA/rules.ini units num_unittypes -3
run_case rules_unit_hp_negative 'hp|unit' set_key DATA/rules.ini unit_0 hp -12
run_case rules_unit_colour_parts_missing "$ini_any" set_key DATA/rules.ini unit_0 color 255
run_case rules_chances_zero 'chance' 'set_key DATA/rules.ini unit_0 chance_hit 0 && set_key DATA/rules.ini unit_0 chance_nohit 0'
run_case rules_sections_doubled "$ini_any" 'cat DATA/rules.ini DATA/rules.ini >x && mv x DATA/rules.ini'
run_case credits_count_huge 'credit' set_key DATA/credits.ini credits num_credits 2000000000
run_case credits_count_negative 'credit' set_key DATA/credits.ini credits num_credits -5
run_case credits_format_wrong 'credit_format|credit|format|conversion' set_key DATA/credits.ini credits credit_format 'credit_%s%s'

# pictures: the icon, a full-screen picture, a cursor, a widget piece, a tile and a unit
run_case icon_missing "$picture|icon" rm DATA/harnvale.ico
run_case icon_garbage "$picture|icon" binary DATA/harnvale.ico
run_case picture_missing "$picture|mainmenu" rm DATA/screens/mainmenu.png
run_case picture_empty "$picture|mainmenu" ': >DATA/screens/mainmenu.png'
run_case picture_truncated "$picture|mainmenu" truncate_mid_line DATA/screens/mainmenu.png
run_case picture_wrong_type "$picture|mainmenu" 'cp DATA/credits.ini DATA/screens/mainmenu.png'
run_case picture_absurd_size "$picture|mainmenu|size|large" huge_png DATA/screens/mainmenu.png
run_case picture_is_directory "$picture|mainmenu" 'rm DATA/screens/mainmenu.png && mkdir DATA/screens/mainmenu.png'
# the backgrounds of screens the menu does not open with: a missing one is reported at the start,
# one that fails only to decode when its screen opens (the exit screen, after the battle)
run_case options_picture_missing "$picture" rm DATA/screens/options.png
run_case exitscreen_picture_truncated "$picture" truncate_mid_line DATA/screens/exitscreen.png
run_case cursor_missing "$picture" rm DATA/cursors/arrow.png
run_case cursor_crafted_tga "$picture|size|large" \
  'crafted_tga DATA/cursors/arrow.tga && set_key DATA/interface.ini cursors arrow "\"cursors/arrow.tga\" 1 1 32 32"'
run_case widget_piece_truncated "$picture" truncate_mid_line DATA/gui/frame0_m.png
run_case mousemap_absurd_size "$picture|size|large" huge_png DATA/tiles/mousemap.png
run_case unit_picture_wrong_type "$picture" 'cp DATA/rules.ini DATA/units/spearman.png'

# a start folder whose path is longer than the program's 1024-character buffers
long_path() {
  local deep=""
  for _ in $(seq 1 12); do deep="$deep/$(printf 'd%.0s' $(seq 1 100))"; done
  mkdir -p "../long$deep"
  mv DATA settings.ini "../long$deep/"
  echo "../long$deep"
}
run_long_path() {
  local dir="$WORK/long_path" deep
  [ -n "$ONLY" ] && [[ ! " $ONLY " == *" long_path "* ]] && return 0
  mkdir -p "$dir/start"
  cp -r "$SOURCE/DATA" "$dir/start/DATA"
  cp "$SOURCE/scripts/default_settings.ini" "$dir/start/settings.ini"
  deep=$(cd "$dir/start" && long_path)
  play "$dir/start/$deep" "$dir"
  judge long_path 'path|folder|directory|long' "$dir/start/$deep" "$dir"
  [ -n "${HARNVALE_BAD_DATA_KEEP:-}" ] || rm -rf "$dir"
}
run_long_path

{
  echo "| case | outcome | sentence |"
  echo "|---|---|---|"
  printf '%s\n' "${rows[@]}"
} | tee "$TABLE"
echo "${#rows[@]} cases, ${#failures[@]} failed"
[ ${#failures[@]} = 0 ] || fail "$(printf '%s; ' "${failures[@]}")"
echo "bad data: ok"
