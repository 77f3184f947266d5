# Sourced by the Windows scripts: Wine's programs, the COM ports of the
# prefix in WINEPREFIX, and a server of the scripts' own.

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEDEBUG=-all

# Wine re-points COM1 at /dev/ttyS0 whenever its server starts, unless the
# registry maps it: maps COM1 to COM$2 to fixed paths in folder $1 (com1 ...),
# which the scripts link to a simulator's pseudo-terminal as needed.
map_com_ports() {
  local n
  mkdir -p "$1"
  for n in $(seq "$2"); do
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$1/com$n" /f >/dev/null
  done
}

# A fresh server, started here so that its own diagnostics stay out of the
# programs' output; it also takes up what was written to the registry.
restart_wineserver() {
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -p 2>/dev/null
}
