#!/usr/bin/env bash
# Kills `vexilo-cli demo` over an old sample at every rename, fsync and unlink (strace's fault injection)
# and checks that the folder still holds one sample: the job run next on it gives the output of the old
# sample or that of the new one, never a mix of the new database and the old drawing.
#   samplekill.sh CLI
# Prints one line per failing point and "N passed, M failed".
set -uo pipefail

cli=$1
source "$(dirname "$0")/common.sh"
needs strace

demo() { "$cli" demo "$1" --elementos "$2" --semilla "$3" > /dev/null 2>&1; }
run() { "$@"; }  # a shell function: the killed process is reported in the subshell that calls it
job() { "$cli" procesar --bdd "$1/muestra.sqlite" --bin "$1/muestra.bin" -q > /dev/null 2>&1; }

demo "$work/viejo" 2000 1 && job "$work/viejo" || { echo "old sample failed"; exit 1; }
demo "$work/nuevo" 3000 2 && job "$work/nuevo" || { echo "new sample failed"; exit 1; }

passed=0
failed=0
for call in rename fsync fdatasync unlink; do
  for ((when = 1; ; when++)); do
    f="$work/p"
    rm -rf "$f"
    demo "$f" 2000 1
    (run strace -f -o /dev/null -e trace="$call" -e inject="$call:signal=SIGKILL:when=$when" \
      "$cli" demo "$f" --elementos 3000 --semilla 2 > /dev/null 2>&1) 2> /dev/null
    status=$?
    if ! job "$f"; then
      echo "FALLO $call:$when: el trabajo sobre la muestra falla"
      failed=$((failed + 1))
    elif cmp -s "$f/muestra_s.bin" "$work/viejo/muestra_s.bin" || cmp -s "$f/muestra_s.bin" "$work/nuevo/muestra_s.bin"; then
      passed=$((passed + 1))
    else
      echo "FALLO $call:$when: la carpeta mezcla dos muestras"
      failed=$((failed + 1))
    fi
    [ "$status" -eq 0 ] && break
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
