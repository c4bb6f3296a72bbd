# Sourced by the Wine tests: a prefix of the test's own, and serial ports that lead only to a
# pseudo-terminal of the test's own. A fresh prefix maps COM1 to the machine's first serial port,
# which on the build machines is the system console: no test may reach it.

# new_wine_prefix DIR: made afresh, with Wine's null graphics driver (no display needed) and one
# server for the whole run, so that the port links set later stay as they are.
new_wine_prefix() {
  export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=${TAZO_WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  wineserver -p >/dev/null 2>&1
}

# register_ports PTY PORT...: Wine's mount manager makes the port links from the Ports key
# whenever its service starts, so the key names the pseudo-terminal for each PORT (COM1, COM12).
register_ports() {
  local pty=$1 port
  shift
  for port in "$@"; do
    wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$pty" /f >/dev/null 2>&1
  done
}

# point_port PORT PTY: the link of PORT (com1, com12) to the pseudo-terminal; every other goes.
point_port() {
  local link
  for link in "$WINEPREFIX"/dosdevices/com*; do
    [ -L "$link" ] && rm -f "$link"
  done
  ln -s "$2" "$WINEPREFIX/dosdevices/$1"
}

# port_is_ours PORT PTY: PORT leads to the pseudo-terminal and no other port link is there.
port_is_ours() {
  [ "$(readlink "$WINEPREFIX/dosdevices/$1")" = "$2" ] && [ -c "$2" ] &&
    ! ls "$WINEPREFIX"/dosdevices/ | grep -v "^$1\$" | grep -q '^com'
}
