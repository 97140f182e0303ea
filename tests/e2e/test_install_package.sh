#!/usr/bin/env bash
# The game as a player installs it: the Debian package is made from this build with cpack, checked
# by lintian, desktop-file-validate and appstreamcli, installed on this machine with apt, and the
# installed command is started from an unrelated folder by a user with an empty home and no XDG
# variables. It must make settings.ini from the defaults, play a battle, end with exit 0, leave
# settings.ini and the battle's record in the user's XDG folders and nothing in the installed tree.
# A damaged settings.ini and an unusable per-user folder end in exit 1 with a sentence naming the
# path. Removing the package must leave none of its files behind.
#
# It changes the machine, so it runs only as root (CI is) and is skipped otherwise.
source "$(dirname "$0")/lib.sh"
BUILD=$(dirname "$GAME")
SHOT="$PWD/installed_game.png"
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
  echo "skipped: installing a package needs root and apt-get"
  exit 77
fi
# A package is made from a release build; the sanitizer builds run everything else.
if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$BUILD/CMakeCache.txt"; then
  echo "skipped: the package is made from a release build"
  exit 77
fi
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@"; }

# The package tools and its checkers are needed by this test only (lintian is large), so they are
# installed here.
missing=()
for p in dpkg-dev file lintian desktop-file-utils appstream; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt_get update
  apt_get install --no-install-recommends "${missing[@]}" >/dev/null
fi
# A package left by an interrupted earlier run is this test's own.
dpkg-query -W harnvale >/dev/null 2>&1 && apt_get remove --purge harnvale >/dev/null

# ---- the package ----------------------------------------------------------------------------
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/package" >"$WORK/cpack.log" 2>&1 ||
  fail "cpack: $(tail -5 "$WORK/cpack.log")"
deb=$(ls "$WORK"/package/harnvale_*.deb)
echo "package: $(basename "$deb"), depends on: $(dpkg-deb -f "$deb" Depends)"
for lib in libsdl2-2.0-0 libsdl2-image-2.0-0 libfreetype6 libfontconfig1 fonts-dejavu-core libgl1; do
  dpkg-deb -f "$deb" Depends | grep -qw "$lib" || fail "the package does not depend on $lib"
done
lintian --fail-on error "$deb" >"$WORK/lintian.log" 2>&1 || fail "lintian: $(cat "$WORK/lintian.log")"
echo "lintian: $(grep -v 'root privileges' "$WORK/lintian.log" | tr '\n' ' ')(no errors)"

trap 'kill -KILL "$GAME_PID" 2>/dev/null || true; apt_get remove --purge harnvale >/dev/null 2>&1 || true; rm -rf "$WORK"' EXIT
apt_get install "$deb" >"$WORK/apt.log" 2>&1 || fail "apt-get install: $(tail -5 "$WORK/apt.log")"
mapfile -t installed < <(dpkg -L harnvale)
desktop=/usr/share/applications/org.harnvale.Harnvale.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
appstreamcli validate --no-net /usr/share/metainfo/org.harnvale.Harnvale.metainfo.xml >"$WORK/as.log" 2>&1 ||
  fail "appstreamcli: $(cat "$WORK/as.log")"
echo "desktop-file-validate: ok; appstreamcli: $(tail -1 "$WORK/as.log")"
for size in 16 32 48 256; do
  [ "$(identify -format %wx%h "/usr/share/icons/hicolor/${size}x$size/apps/harnvale.png")" = "${size}x$size" ] ||
    fail "no ${size} px icon"
done
tree_state() { find /usr/share/harnvale /usr/games/harnvale -printf '%p %s %T@ %m\n' | sort; }
tree_before=$(tree_state)

# ---- a player with an empty home, started as the menu entry starts it -----------------------
PLAYER="$WORK/home"
ELSEWHERE="$WORK/elsewhere"
mkdir -p "$PLAYER" "$ELSEWHERE"
command=$(awk -F= '$1 == "Exec" {print $2}' "$desktop")
# The installed command, through the PATH a user's session has (games live in /usr/games).
run_installed() { # extra environment assignments...
  (cd "$ELSEWHERE" && exec env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME HOME="$PLAYER" \
    PATH="/usr/local/games:/usr/games:$PATH" "$@" $command >"$WORK/stdout" 2>"$WORK/stderr") &
  GAME_PID=$!
}
settings="$PLAYER/.config/harnvale/settings.ini"
saves="$PLAYER/.local/share/harnvale/saves"
report="$PLAYER/.local/state/harnvale/error.txt"

# The first start makes settings.ini from the installed defaults.
run_installed HARNVALE_QUIT_AFTER_FRAMES=3
wait_exit
[ "$EXIT_CODE" = 0 ] || fail "first start: exit code $EXIT_CODE: $(cat "$WORK/stderr")"
[ -f "$settings" ] || fail "first start: no $settings"
[ "$(ini_value "$settings" screen width)" = 1024 ] || fail "first start: settings.ini not made from the defaults"
[ -d "$saves" ] || fail "first start: no $saves"

# The player moves the window to the screen's corner, then plays.
sed -i 's/^left=.*/left=0/; s/^top=.*/top=0/; s/^right=.*/right=1024/; s/^bottom=.*/bottom=768/' "$settings"
sed -i 's/^show_names=.*/show_names=false/' "$settings"
run_installed HARNVALE_SEED=7
win=$(wait_window)
xdotool windowfocus "$win"
wait_state logo_phase true "the installed game opens on the logo"
click 300 300
wait_state state mainmenu "a click ends the logo"
import -window root "$SHOT" 2>/dev/null || true
key s
wait_state state gameplay "S starts a battle"
moved=""
for unit in $(state_value units); do
  [ -n "$(on_field "$unit")" ] || continue
  # shellcheck disable=SC2046
  click $(point_of "$unit")
  wait_state selected "$unit" "selecting $unit by a click"
  target=$(on_field "$(state_value moves)")
  [ -n "$target" ] || continue
  # shellcheck disable=SC2046
  click $(point_of "$target")
  wait_state busy false
  moved="$unit"
  break
done
[ -n "$moved" ] || fail "no unit could be moved"
key Escape
wait_state state mainmenu "Escape leaves the battle"
quit_normally
[ -z "$(ls -A "$ELSEWHERE")" ] || fail "files were left in the start folder: $(ls -A "$ELSEWHERE")"
[ "$(ini_value "$settings" misc show_names)" = false ] || fail "the player's settings.ini was not read and written back"
ls "$saves"/*.hvr >/dev/null 2>&1 || fail "no battle record in $saves"
[ ! -e "$report" ] || fail "an error report after normal play: $(head -3 "$report")"
[ "$(tree_state)" = "$tree_before" ] || fail "the installed tree changed: $(diff <(echo "$tree_before") <(tree_state))"
echo "played from $ELSEWHERE: settings.ini and $(ls "$saves" | wc -l) record(s) in the XDG folders"

# ---- damaged or unusable per-user files -----------------------------------------------------
# expect_report NAME SENTENCE REPORT_FILE [env...]: exit 1, and the report's first line (in the
# file, or on stderr when there is no file) is the sentence.
expect_report() {
  local name="$1" sentence="$2" file="$3"
  shift 3
  rm -f "$report"
  run_installed "$@"
  wait_exit
  [ "$EXIT_CODE" = 1 ] || fail "$name: exit code $EXIT_CODE, wanted 1: $(head -5 "$WORK/stderr")"
  if [ -n "$file" ]; then
    [ "$(head -1 "$file" 2>/dev/null)" = "$sentence" ] || fail "$name: report: $(head -3 "$file" 2>/dev/null)"
    grep -qF "saved to the file \"$file\"" "$WORK/stderr" || fail "$name: the report does not say where it is"
  else
    grep -qxF "$sentence" "$WORK/stderr" || fail "$name: $(head -5 "$WORK/stderr")"
  fi
  echo "$name: $sentence"
}
cp "$settings" "$WORK/settings.good"
head -c 2000 /dev/urandom | tr -d '[' >"$settings"
expect_report "damaged settings.ini" "Unable to use the settings file \"$settings\": it holds no display settings; remove it and the game makes a new one from the defaults." "$report"
cmp -s "$settings" "$WORK/settings.good" && fail "the damaged settings.ini was replaced"
cp "$WORK/settings.good" "$settings"
# The superuser may write anywhere, so an unusable folder is a file standing where it should be.
echo "not a folder" >"$WORK/not-a-folder"
expect_report "unusable records folder" \
  "Unable to keep the battle records in the folder \"$WORK/not-a-folder/harnvale/saves\": Not a directory." \
  "$report" XDG_DATA_HOME="$WORK/not-a-folder"
expect_report "unusable state folder too" \
  "Unable to keep the settings in the folder \"$WORK/not-a-folder/harnvale\": Not a directory." "" \
  XDG_CONFIG_HOME="$WORK/not-a-folder" XDG_STATE_HOME="$WORK/not-a-folder"
grep -qF "could not be saved to the file \"$WORK/not-a-folder/harnvale/error.txt\": Not a directory." "$WORK/stderr" ||
  fail "an unwritable report was not said to be missing: $(tail -3 "$WORK/stderr")"
[ "$(tree_state)" = "$tree_before" ] || fail "the installed tree changed after the failures"

# ---- removal --------------------------------------------------------------------------------
apt_get remove --purge harnvale >"$WORK/apt.log" 2>&1 || fail "apt-get remove: $(tail -5 "$WORK/apt.log")"
left=()
for f in "${installed[@]}"; do
  [ -f "$f" ] || [ -L "$f" ] && left+=("$f")
done
[ -e /usr/share/harnvale ] && left+=(/usr/share/harnvale)
[ ${#left[@]} -eq 0 ] || fail "files left after removal: ${left[*]}"
[ -f "$settings" ] || fail "the removal took the player's own settings"
echo "install package: ok (${#installed[@]} paths installed, none left after removal)"
