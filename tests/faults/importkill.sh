#!/usr/bin/env bash
# Kills vexilo-cli importar at every write boundary (the N-th call of each system call that writes,
# syncs, renames or removes, through strace's fault injection) and checks what each instant leaves:
#   - the destination is the old file (or absent, when there was none) or the whole new database;
#   - the old file is never lost: when the destination holds the new database, a backup (.bak) holds
#     the old one whole; a backup that is there is always whole;
#   - the import run again, as the user would run it, gives the whole new database and leaves no partial
#     file or journal beside it.
#   importkill.sh CLI nuevo|forzar
# "nuevo" imports the Access database of tests/data into a new file; "forzar" imports a sample's SQLite
# database with --forzar over an earlier import. Only the importing process is killed (the Access reader
# it starts is not traced). Prints one line per failing point and "N passed, M failed".
set -uo pipefail

cli=$1
kind=${2:-nuevo}
here=$(cd "$(dirname "$0")" && pwd)
mdb="$here/../data/nwind.mdb"
source "$here/common.sh"
needs strace sqlite3

"$cli" demo "$work/muestra" --elementos 200 > /dev/null 2>&1 || { echo "demo failed"; exit 1; }
case "$kind" in
  nuevo)
    source=$mdb
    old=""
    ;;
  forzar)
    source="$work/muestra/muestra.sqlite"
    "$cli" importar "$mdb" "$work/viejo.sqlite" > /dev/null 2>&1 || { echo "first import failed"; exit 1; }
    old="$work/viejo.sqlite"
    ;;
  *)
    echo "importkill.sh CLI nuevo|forzar" >&2
    exit 2
    ;;
esac
"$cli" importar "$source" "$work/nuevo.sqlite" > /dev/null 2>&1 || { echo "reference import failed"; exit 1; }
sqlite3 "$work/nuevo.sqlite" .dump > "$work/nuevo.dump"

# The import into the folder `f`, with --forzar when its destination is there.
import() {  # folder [strace arguments...]
  local f=$1
  shift
  local force=()
  [ -e "$f/datos.sqlite" ] && force=(--forzar)
  "$@" "$cli" importar "$source" "$f/datos.sqlite" "${force[@]}" > "$f/salida.txt" 2>&1
}
isOld() { [ -n "$old" ] && cmp -s "$1" "$old"; }
isNew() { [ "$(sqlite3 "$1" .dump 2> /dev/null)" = "$(cat "$work/nuevo.dump")" ]; }

passed=0
failed=0
fail() { echo "FALLO $point: $*"; failed=$((failed + 1)); ok=0; }

for call in pwrite64 write fsync fdatasync rename renameat2 unlink ftruncate; do
  for ((when = 1; ; when++)); do
    point="$call:$when"
    f="$work/p"
    rm -rf "$f"
    mkdir "$f"
    [ -n "$old" ] && cp "$old" "$f/datos.sqlite"
    # Not -f: the Access reader's writes into its pipe are not the importer's.
    (import "$f" strace -o "$f/traza" -e trace="$call" -e inject="$call:signal=SIGKILL:when=$when") 2> /dev/null
    status=$?
    injected=0
    grep -qE 'INJECTED|killed by SIGKILL' "$f/traza" && injected=1
    rm -f "$f/traza"
    ok=1

    # What the kill left: the old file or the new one under the name, and the old one never lost.
    newThere=0
    if [ -e "$f/datos.sqlite" ]; then
      if isNew "$f/datos.sqlite"; then
        newThere=1
      elif ! isOld "$f/datos.sqlite"; then
        fail "el destino no es ni el fichero anterior ni la base de datos importada entera"
      fi
    elif [ -n "$old" ]; then
      fail "el destino ha desaparecido"
    fi
    backups=$(ls "$f" | grep -E '\.bak$' || true)
    for b in $backups; do
      isOld "$f/$b" || fail "la copia $b no es el fichero anterior entero"
    done
    if [ -n "$old" ] && [ "$newThere" = 1 ] && [ -z "$backups" ]; then
      fail "el destino tiene la base de datos nueva y no queda copia del fichero anterior"
    fi
    if [ "$injected" = 0 ]; then
      [ "$status" = 0 ] && [ "$newThere" = 1 ] || fail "la importación sin fallo no termina bien: $(cat "$f/salida.txt")"
      [ "$ok" = 1 ] && passed=$((passed + 1))
      break  # no such call left to kill at: the import ran to its end
    fi

    # The import run again gives the new database, and nothing half-done stays beside it.
    if ! import "$f"; then
      fail "la importación siguiente falla: $(cat "$f/salida.txt")"
    else
      isNew "$f/datos.sqlite" || fail "la importación siguiente no da la base de datos importada"
      for b in $(ls "$f" | grep -E '\.bak$' || true); do
        isOld "$f/$b" || isNew "$f/$b" || fail "la copia $b no es una base de datos entera"
      done
      leftovers=$(ls "$f" | grep -E 'parcial|journal|-wal|-shm' || true)
      [ -z "$leftovers" ] || fail "quedan ficheros: $leftovers"
    fi
    [ "$ok" = 1 ] && passed=$((passed + 1))
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
