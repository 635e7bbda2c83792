#!/usr/bin/env bash
# The output drawing's early syncs, on a sheet large enough to have them (the writer asks the disk to take
# the file every 16 MB while the walk goes on, on a thread of its own): vexilo-cli procesar in the text
# rewrite, whose first syncs are those, with the first early sync failing (EIO) and killed there.
#   - a failed early sync fails the job as the closing sync would: status 1, the output named in a Spanish
#     message that says nothing was changed, no drawing, the database as it was;
#   - a kill there leaves no drawing and the database as it was;
#   - the next job, run as a user would run it again, writes the drawing an undisturbed job writes.
#   earlysync.sh CLI
set -uo pipefail

cli=$(realpath "$1")
source "$(dirname "$0")/common.sh"
needs strace sqlite3

"$cli" demo "$work/muestra" --elementos 250000 > /dev/null 2>&1 || { echo "demo failed"; exit 1; }
size=$(stat -c %s "$work/muestra/muestra.bin")
[ "$size" -gt $((20 << 20)) ] || { echo "the sample ($size bytes) is too small for an early sync"; exit 1; }

fresh() {  # folder
  rm -rf "$1"
  mkdir "$1"
  cp "$work/muestra/muestra.sqlite" "$work/muestra/muestra.bin" "$1/"
}
run() {  # folder [strace arguments...]
  local folder=$1
  shift
  (cd "$folder" && "$@" "$cli" procesar --bdd muestra.sqlite --bin muestra.bin --modo texto -q > salida.txt 2>&1)
}

fresh "$work/s1"
run "$work/s1" || { echo "the undisturbed job failed: $(cat "$work/s1/salida.txt")"; exit 1; }
dump "$work/muestra/muestra.sqlite" "$work/muestra" > "$work/state0"

passed=0
failed=0
fail() { echo "FALLO $point: $*"; failed=$((failed + 1)); ok=0; }

for point in error=EIO signal=SIGKILL; do
  ok=1
  f="$work/p"
  fresh "$f"
  # Counted per thread: the first fdatasync of each thread is tampered with, and the early syncs' thread
  # makes the job's first ones.
  run "$f" strace -f -y -o "$f/traza" -e trace=fdatasync -e inject="fdatasync:$point:when=1"
  status=$?
  # The failed call is the output drawing's (strace names each call's file: -y), killed as it is made.
  grep -qE 'fdatasync\([0-9]+<[^>]*muestra_s\.bin[^>]*>\) += (-1 EIO .*INJECTED|\?)' "$f/traza" ||
    fail "no ha fallado un fdatasync del dibujo de salida: $(head -3 "$f/traza")"
  said=$(sed "s#$f/##g" "$f/salida.txt")
  [ -e "$f/muestra_s.bin" ] && fail "hay dibujo de salida de un trabajo no guardado"
  dump "$f/muestra.sqlite" "$f" > "$f/state"
  cmp -s "$f/state" "$work/state0" || fail "la base de datos ha cambiado"
  if [ "$point" = error=EIO ]; then
    [ "$status" = 1 ] || fail "el estado de salida es $status: $said"
    grep -q 'No se puede escribir el fichero .*muestra_s' <<< "$said" || fail "el mensaje no nombra el dibujo: $said"
    grep -qE 'No se ha cambiado nada|no se ha hecho nada|quedan como estaban' <<< "$said" ||
      fail "el mensaje no dice que no se ha cambiado nada: $said"
  fi
  if ! run "$f"; then
    fail "el trabajo siguiente falla: $(cat "$f/salida.txt")"
  else
    cmp -s "$f/muestra_s.bin" "$work/s1/muestra_s.bin" || fail "el dibujo del trabajo siguiente difiere"
    leftovers=$(ls "$f" | grep -E 'parcial|journal' || true)
    [ -z "$leftovers" ] || fail "quedan ficheros: $leftovers"
  fi
  [ "$ok" = 1 ] && passed=$((passed + 1))
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
