#!/usr/bin/env bash
# Kills vexilo-cli procesar at every write boundary of a small job (the N-th call of each system call that
# writes, syncs, renames or removes, through strace's fault injection) and checks what each instant
# leaves:
#   - the database holds the state before the job or the state after it, never a mix;
#   - the output drawing is absent or whole; when the database kept the job and the drawing has not taken
#     its name, the database records the publication and the drawing lies whole under its partial name;
#   - the next job, run as a user would run it again, finds everything settled: it ends as a second job
#     after the killed one would (database and drawing alike), and leaves no partial file and no record.
#   killpoints.sh CLI [MODE] [informe]
# With "informe" every job also writes its report, which is committed with it: absent or whole, named
# or recorded, like the drawing.
# Prints one line per point and "N passed, M failed".
set -uo pipefail

cli=$1
mode=${2:-no}
report=${3:-}
source "$(dirname "$0")/common.sh"
needs strace sqlite3

run() {  # folder [strace arguments...]
  local folder=$1
  shift
  local extra=()
  [ -n "$report" ] && extra=(--informe "$folder/informe.json")
  "$@" "$cli" procesar --bdd "$folder/muestra.sqlite" --bin "$folder/muestra.bin" --modo "$mode" -q \
    "${extra[@]}" > "$folder/salida.txt" 2>&1
}

"$cli" demo "$work/muestra" --elementos 3000 > /dev/null 2>&1 || { echo "demo failed"; exit 1; }
# The states a killed job may leave, and what the next job makes of each.
for n in 0 1 2; do
  mkdir "$work/s$n"
  cp "$work/muestra/muestra.sqlite" "$work/muestra/muestra.bin" "$work/s$n/"
  for ((i = 0; i < n; i++)); do run "$work/s$n" || { echo "job $i failed"; exit 1; }; done
  dump "$work/s$n/muestra.sqlite" "$work/s$n" > "$work/state$n"
done

# The rewrite mode only reads the database: its states before and after the job are one, and the
# drawing (or its recorded publication) alone tells whether the job was kept.
readonly=0
cmp -s "$work/state0" "$work/state1" && readonly=1

passed=0
failed=0
fail() { echo "FALLO $point: $*"; failed=$((failed + 1)); ok=0; }

for call in pwrite64 write fsync fdatasync rename unlink ftruncate; do
  for ((when = 1; ; when++)); do
    point="$call:$when"
    f="$work/p"
    rm -rf "$f"
    mkdir "$f"
    cp "$work/muestra/muestra.sqlite" "$work/muestra/muestra.bin" "$f/"
    # In a shell of its own, whose report of the killed process goes nowhere.
    (run "$f" strace -f -o /dev/null -e trace="$call" -e inject="$call:signal=SIGKILL:when=$when") 2> /dev/null
    status=$?
    ok=1
    dump "$f/muestra.sqlite" "$f" > "$f/state"
    recorded=$(recordedPartial "$f" muestra_s.bin)
    kept=$(keptOf "$f/state" "$f" "$recorded")
    [ "$kept" = -1 ] && fail "la base de datos no está ni antes ni después del trabajo"
    if [ -e "$f/muestra_s.bin" ] && ! cmp -s "$f/muestra_s.bin" "$work/s1/muestra_s.bin"; then
      fail "el dibujo de salida no está entero"
    fi
    if [ "$kept" = 1 ] && [ ! -e "$f/muestra_s.bin" ]; then
      if [ -z "$recorded" ] || ! cmp -s "$recorded" "$work/s1/muestra_s.bin"; then
        fail "la base de datos tiene los cambios y el dibujo no tiene nombre ni publicación anotada"
      fi
    fi
    if [ "$kept" = 0 ] && [ -e "$f/muestra_s.bin" ]; then
      fail "hay dibujo de salida sin los cambios en la base de datos"
    fi
    if [ -n "$report" ]; then
      if [ -e "$f/informe.json" ] && [ "$(reportOf "$f/informe.json" "$f")" != "$(reportOf "$work/s1/informe.json" "$work/s1")" ]; then
        fail "el informe no está entero"
      fi
      if [ "$kept" = 1 ] && [ ! -e "$f/informe.json" ] &&
         [ -z "$(recordedPartial "$f" informe.json)" ]; then
        fail "el trabajo guardado no tiene informe ni informe anotado"
      fi
      [ "$kept" = 0 ] && [ -e "$f/informe.json" ] && fail "hay informe de un trabajo no guardado"
    fi
    if [ "$status" -eq 0 ]; then
      [ "$ok" = 1 ] && passed=$((passed + 1))
      break  # no such call left to kill at: the job ran to its end
    fi
    # The next job, as the user would run it again.
    if ! run "$f"; then
      fail "el trabajo siguiente falla: $(cat "$f/salida.txt")"
    elif [ "$kept" -ge 0 ]; then
      next=$((kept + 1))
      dump "$f/muestra.sqlite" "$f" > "$f/after"
      cmp -s "$f/after" "$work/state$next" || fail "el trabajo siguiente no deja lo que dejaría tras $kept trabajos"
      cmp -s "$f/muestra_s.bin" "$work/s$next/muestra_s.bin" || fail "el dibujo del trabajo siguiente difiere"
      if [ -n "$report" ] && [ "$(reportOf "$f/informe.json" "$f")" != "$(reportOf "$work/s$next/informe.json" "$work/s$next")" ]; then
        fail "el informe del trabajo siguiente difiere"
      fi
      leftovers=$(ls "$f" | grep -E 'parcial|journal' || true)
      [ -z "$leftovers" ] || fail "quedan ficheros: $leftovers"
      if holdsPublications "$f"; then
        fail "queda la publicación anotada"
      fi
    fi
    [ "$ok" = 1 ] && passed=$((passed + 1))
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
