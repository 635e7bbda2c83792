#!/usr/bin/env bash
# The window's program started where no window can open: without any display, and with a DISPLAY
# that does not answer. Each time a Spanish reason on the standard error and exit status 1, never
# Qt's English abort (status 134).
#   nodisplay.sh VEXILO
set -u
vexilo=$1
failures=0
check() {  # check WHAT REASON ENV...
  local what=$1 reason=$2
  shift 2
  local out status
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u VEXILO_QT_MESSAGES "$@" "$vexilo" 2>&1)
  status=$?
  if [ $status -ne 1 ] || ! grep -qF "$reason" <<<"$out" || ! grep -qF "ssh -X" <<<"$out" ||
     grep -q "Qt platform plugin" <<<"$out"; then
    echo "FAILED ($what): status $status, output:"
    echo "$out"
    failures=$((failures + 1))
  fi
}
check "no display" "vexilo: no se puede abrir la ventana: no hay ninguna pantalla gráfica"
# No X server listens on display 9753 (its socket would be /tmp/.X11-unix/X9753).
if [ ! -e /tmp/.X11-unix/X9753 ]; then
  check "a display that does not answer" "no se puede conectar con la pantalla gráfica ':9753'" DISPLAY=:9753
fi
[ $failures -eq 0 ]
