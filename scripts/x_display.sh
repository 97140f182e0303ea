# Sourced by the scripts that start a private Xvfb. free_x_display N succeeds when no X server
# holds display N: a lock left behind by a server that died does not hold it (Xvfb takes such a
# display over), where a lock of a live process or a socket without a lock does.
free_x_display() { # N
  local lock="/tmp/.X$1-lock" pid
  if [ -e "$lock" ]; then
    pid=$(tr -dc '0-9' <"$lock" 2>/dev/null || true)
    [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null
    return
  fi
  [ ! -e "/tmp/.X11-unix/X$1" ]
}
