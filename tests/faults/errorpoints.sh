#!/usr/bin/env bash
# Makes one system call of vexilo-cli procesar fail at every write boundary of a small job (the N-th call
# of each call that writes, syncs, renames or removes fails with EIO, and each write with ENOSPC too,
# through strace's fault injection) and checks what the user is told and what each failure leaves:
#   - the database holds the state before the job or the state after it, never a mix;
#   - the exit status is 0 when the database kept the job and 1 when it did not;
#   - the message is Spanish throughout (no system or engine text in English) and tells the truth: a job
#     not kept says that nothing was changed and claims no change; a kept job claims no undoing;
#   - the output drawing and the report are absent or whole, never there for a job not kept, and either
#     named or recorded for the next job when the job was kept;
#   - the next job, run as a user would run it again, finds everything settled, as in killpoints.sh.
#   errorpoints.sh CLI [MODE]
# Every job writes its report (--informe). Prints one line per failing point and "N passed, M failed".
set -uo pipefail

cli=$(realpath "$1")  # the failing job runs inside its own folder
mode=${2:-no}
source "$(dirname "$0")/common.sh"
needs strace sqlite3

run() {  # folder report [strace arguments...]: full paths
  local folder=$1 report=$2
  shift 2
  "$@" "$cli" procesar --bdd "$folder/muestra.sqlite" --bin "$folder/muestra.bin" --modo "$mode" -q \
    --informe "$folder/$report" > "$folder/salida.txt" 2>&1
}
# The job that fails runs inside its folder with names relative to it; the next job runs elsewhere with
# full paths, and writes its report under another name: the failed job's files are given their names by
# the next job itself, wherever it runs.
runInside() {  # folder [strace arguments...]
  local folder=$1
  shift
  (cd "$folder" && "$@" "$cli" procesar --bdd muestra.sqlite --bin muestra.bin --modo "$mode" -q \
    --informe informe.json > salida.txt 2>&1)
}

"$cli" demo "$work/muestra" --elementos 3000 > /dev/null 2>&1 || { echo "demo failed"; exit 1; }
for n in 0 1 2; do
  mkdir "$work/s$n"
  cp "$work/muestra/muestra.sqlite" "$work/muestra/muestra.bin" "$work/s$n/"
  for ((i = 0; i < n; i++)); do run "$work/s$n" informe.json || { echo "job $i failed"; exit 1; }; done
  dump "$work/s$n/muestra.sqlite" "$work/s$n" > "$work/state$n"
done
readonly=0
cmp -s "$work/state0" "$work/state1" && readonly=1

# Words of the system's or the engine's English texts ("disk I/O error", "unable to open database file",
# "No such file or directory", "Input/output error", "No space left on device", "Permission denied"...).
english='I/O|disk|database|unable|such|input|output|space|left|denied|failed|cannot|read-only|malformed|file|locked|operation|not|the|is|error:'
nothingChanged='No se ha cambiado nada|no se ha hecho nada|quedan como estaban'
claimsKept='ya tiene los cambios|tienen los cambios|Creado el fichero'

passed=0
failed=0
fail() { echo "FALLO $point: $*"; failed=$((failed + 1)); ok=0; }

for point_kind in pwrite64:EIO write:EIO fsync:EIO fdatasync:EIO rename:EIO unlink:EIO ftruncate:EIO \
                  pwrite64:ENOSPC write:ENOSPC; do
  call=${point_kind%%:*}
  error=${point_kind##*:}
  for ((when = 1; ; when++)); do
    point="$call:$error:$when"
    f="$work/p"
    rm -rf "$f"
    mkdir "$f"
    cp "$work/muestra/muestra.sqlite" "$work/muestra/muestra.bin" "$f/"
    runInside "$f" strace -f -o "$f/traza" -e trace="$call" -e inject="$call:error=$error:when=$when"
    status=$?
    injected=0
    grep -q INJECTED "$f/traza" && injected=1
    rm -f "$f/traza"
    ok=1
    said=$(sed "s#$f/##g" "$f/salida.txt")

    dump "$f/muestra.sqlite" "$f" > "$f/state"
    recorded=$(recordedPartial "$f" muestra_s.bin)
    kept=$(keptOf "$f/state" "$f" "$recorded")
    [ "$kept" = -1 ] && fail "la base de datos no está ni antes ni después del trabajo"

    # What the user is told.
    unknown=0
    grep -q 'No se sabe si' <<< "$said" && unknown=1
    if [ "$unknown" = 0 ] && [ "$kept" = 1 ] && [ "$status" != 0 ]; then
      fail "el trabajo se ha guardado y el estado de salida es $status"
    fi
    if [ "$unknown" = 0 ] && [ "$kept" = 0 ] && [ "$status" != 1 ]; then
      fail "el trabajo no se ha guardado y el estado de salida es $status"
    fi
    english_words=$(grep -ioEw "$english" <<< "$said" | sort -u | tr '\n' ' ')
    [ -z "$english_words" ] || fail "el mensaje tiene texto en inglés ($english_words): $said"
    if [ "$kept" = 0 ] && [ "$unknown" = 0 ]; then
      grep -qE "$nothingChanged" <<< "$said" || fail "el mensaje no dice que no se ha cambiado nada: $said"
      grep -qE "$claimsKept" <<< "$said" && fail "el mensaje dice que se ha guardado lo que no: $said"
    fi
    if [ "$kept" = 1 ]; then
      grep -qE "$nothingChanged|no ha guardado" <<< "$said" && fail "el mensaje niega lo que se ha guardado: $said"
      if [ "$status" = 0 ] && ! grep -q Aviso <<< "$said" &&
         { [ ! -e "$f/muestra_s.bin" ] || [ ! -e "$f/informe.json" ]; }; then
        fail "el trabajo dice que ha terminado y le falta el dibujo o el informe"
      fi
    fi

    # What the failure left.
    checkFilesLeft "$f" "$kept" "$f"

    # The next job, as the user would run it again.
    if [ "$injected" = 1 ]; then
      if ! (cd "$work" && run "$f" siguiente.json); then
        fail "el trabajo siguiente falla: $(cat "$f/salida.txt")"
      elif [ "$kept" -ge 0 ]; then
        next=$((kept + 1))
        dump "$f/muestra.sqlite" "$f" > "$f/after"
        cmp -s "$f/after" "$work/state$next" || fail "el trabajo siguiente no deja lo que dejaría tras $kept trabajos"
        cmp -s "$f/muestra_s.bin" "$work/s$next/muestra_s.bin" || fail "el dibujo del trabajo siguiente difiere"
        if [ "$(reportOf "$f/siguiente.json" "$f")" != "$(reportOf "$work/s$next/informe.json" "$work/s$next")" ]; then
          fail "el informe del trabajo siguiente difiere"
        fi
        if [ "$kept" = 1 ] &&
           [ "$(reportOf "$f/informe.json" "$f")" != "$(reportOf "$work/s1/informe.json" "$work/s1")" ]; then
          fail "el informe del trabajo guardado se ha perdido"
        fi
        [ "$kept" = 0 ] && [ -e "$f/informe.json" ] && fail "el trabajo siguiente da un informe al trabajo no guardado"
        leftovers=$(ls "$f" | grep -E 'parcial|journal' || true)
        [ -z "$leftovers" ] || fail "quedan ficheros: $leftovers"
        if holdsPublications "$f"; then
          fail "queda la publicación anotada"
        fi
      fi
    fi
    [ "$ok" = 1 ] && passed=$((passed + 1))
    [ "$injected" = 0 ] && break  # no such call left to fail: the job ran to its end
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
