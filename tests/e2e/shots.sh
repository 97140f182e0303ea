# Screenshots for the whole-program tests: saved under build/screenshots for a person to look
# at, and measured for what must be on screen. Sourced after lib.sh.
SHOTS="$SOURCE/build/screenshots"

screenshot() { # name
  mkdir -p "$SHOTS"
  import -window root "$SHOTS/$1.png"
}

# The mean brightness (0..255) of a screen rectangle, from a fresh screenshot.
brightness() { # x y w h
  import -window root "$WORK/brightness.png"
  convert "$WORK/brightness.png" -crop "$3x$4+$1+$2" -colorspace Gray -format '%[fx:int(255*mean)]' info:
}
