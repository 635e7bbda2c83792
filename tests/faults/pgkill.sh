#!/usr/bin/env bash
# Kills vexilo-cli procesar on a PostgreSQL database at every call that talks to the server or writes a
# file (each send and receive of the connection, each write, sync, rename and removal, through strace's
# fault injection) and checks what each instant leaves, as killpoints.sh does for a SQLite file:
#   - the server's database holds the state before the job or the state after it, never a mix;
#   - the output drawing and the report are absent or whole; when the server kept the job and a file has
#     not taken its name, the server records the publication and the file lies whole under its partial
#     name;
#   - the next job finds everything settled: it ends as a second job after the killed one would, and
#     leaves no partial file and no record.
#   pgkill.sh CLI
# The server is a throwaway cluster (scripts/pg-server.sh), or the one VEXILO_PG names; every state is a
# database of its own, copied from a template. Prints one line per failing point and "N passed, M failed".
set -uo pipefail

cli=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"  # its dump and reportOf are the server's own, below
needs strace psql
source "$here/../../scripts/pg-server.sh"
trap 'para_cluster; rm -rf "$work"' EXIT
servidor_pg vexilo_muestra

# The URI of the database `name` of the same server.
uriOf() {
  sed -E "s#/[^/?]*(\?|$)#/$1\1#" <<< "$uri"
}
sql() {  # database statement
  psql "$(uriOf "$1")" -At -q -c "$2" 2> /dev/null
}
fresh() {  # database copied from the template `from`
  sql postgres "DROP DATABASE IF EXISTS $1 WITH (FORCE)" > /dev/null
  sql postgres "CREATE DATABASE $1 TEMPLATE $2" > /dev/null
}

# The attribute tables and the run log in their order, without the order column (an identity, which a
# rolled-back job consumes too) and the moment of each row, the paths made relative.
dump() {  # database folder
  local db=$1 folder=$2
  for t in CALLES NUEVA PARCELAS RIOS; do
    sql "$db" "SELECT (to_jsonb(t) - 'vexilo_orden')::text FROM \"$t\" t ORDER BY vexilo_orden"
  done
  sql "$db" "SELECT \"NombreTabla\", mslink, \"RegistroATR\", replace(\"NombreFichero\", '$folder/', ''),
             \"TMapa\" FROM \"CONTROLPROCESO\" ORDER BY vexilo_orden"
}
run() {  # database folder [strace arguments...]
  local db=$1 folder=$2
  shift 2
  "$@" "$cli" procesar --bdd "$(uriOf "$db")" --bin "$folder/muestra.bin" -q \
    --informe "$folder/informe.json" > "$folder/salida.txt" 2>&1
}
# A report with its folder's paths made relative and its database's name taken out, so that reports of
# two folders and databases compare.
reportOf() {  # file folder
  sed -E "s#$2/##g; s#/vexilo_(p|s[0-9])\?#/BDD?#g" "$1" 2> /dev/null
}
recordedPartial() {  # database final-name
  sql "$1" "SELECT parcial FROM vexilo_publicacion WHERE final LIKE '%$2'"
}

"$cli" demo "$work/muestra" --elementos 3000 --bdd "$uri" > /dev/null 2>&1 || { echo "demo failed"; exit 1; }
template=$(sed -E 's#^postgresql://[^/]*/([^/?]*).*#\1#' <<< "$uri")
for n in 0 1 2; do
  mkdir "$work/s$n"
  cp "$work/muestra/muestra.bin" "$work/s$n/"
  fresh "vexilo_s$n" "$template"
  for ((i = 0; i < n; i++)); do
    run "vexilo_s$n" "$work/s$n" || { echo "job $i failed: $(cat "$work/s$n/salida.txt")"; exit 1; }
  done
  dump "vexilo_s$n" "$work/s$n" > "$work/state$n"
done
cmp -s "$work/state0" "$work/state1" && { echo "the job changed nothing"; exit 1; }

# Where the job commits: the N-th send of the connection carries COMMIT, and the M-th receive is the
# first after it. The sends and receives before are the same kind of instant (the job not committed, the
# server rolling it back when the connection drops): the first few of them are killed at, and every one
# from a few before the commit on.
fresh vexilo_p vexilo_s0
rm -rf "$work/t" && mkdir "$work/t" && cp "$work/muestra/muestra.bin" "$work/t/"
run vexilo_p "$work/t" strace -f -o "$work/t/traza" -s 16 -e trace=sendto,recvfrom
commitSend=$(grep 'sendto(' "$work/t/traza" | grep -n 'COMMIT' | head -n 1 | cut -d: -f1)
commitReceive=$(($(sed -n '/sendto(.*COMMIT/q;p' "$work/t/traza" | grep -c 'recvfrom(') + 1))
[ -n "$commitSend" ] || { echo "no COMMIT seen"; exit 1; }
firstPoints=3
before=4

passed=0
failed=0
keptAt=""  # the killed instants at which the server had kept the job
fail() { echo "FALLO $point: $*"; failed=$((failed + 1)); ok=0; }

for call in sendto recvfrom write fsync rename unlink; do
  for ((when = 1; ; when++)); do
    case "$call" in
      sendto) [ "$when" -gt "$firstPoints" ] && [ "$when" -lt $((commitSend - before)) ] && continue ;;
      recvfrom) [ "$when" -gt "$firstPoints" ] && [ "$when" -lt $((commitReceive - before)) ] && continue ;;
    esac
    point="$call:$when"
    f="$work/p"
    rm -rf "$f"
    mkdir "$f"
    cp "$work/muestra/muestra.bin" "$f/"
    fresh vexilo_p vexilo_s0
    (run vexilo_p "$f" strace -f -o "$f/traza" -e trace="$call" -e inject="$call:signal=SIGKILL:when=$when") 2> /dev/null
    injected=0
    grep -q 'killed by SIGKILL' "$f/traza" && injected=1
    rm -f "$f/traza"
    ok=1
    dump vexilo_p "$f" > "$f/state"
    kept=$(keptOf "$f/state" "$f" "")
    [ "$kept" = -1 ] && fail "la base de datos del servidor no está ni antes ni después del trabajo"
    checkFilesLeft "$f" "$kept" vexilo_p
    if [ "$injected" = 0 ]; then
      [ "$kept" = 1 ] || fail "el trabajo sin muerte no se ha guardado: $(cat "$f/salida.txt")"
      [ "$ok" = 1 ] && passed=$((passed + 1))
      break  # no such call left to kill at: the job ran to its end
    fi
    [ "$kept" = 1 ] && keptAt="$keptAt $point"
    # The next job, as the user would run it again.
    if ! run vexilo_p "$f"; then
      fail "el trabajo siguiente falla: $(cat "$f/salida.txt")"
    elif [ "$kept" -ge 0 ]; then
      next=$((kept + 1))
      dump vexilo_p "$f" > "$f/after"
      cmp -s "$f/after" "$work/state$next" || fail "el trabajo siguiente no deja lo que dejaría tras $kept trabajos"
      cmp -s "$f/muestra_s.bin" "$work/s$next/muestra_s.bin" || fail "el dibujo del trabajo siguiente difiere"
      if [ "$(reportOf "$f/informe.json" "$f")" != "$(reportOf "$work/s$next/informe.json" "$work/s$next")" ]; then
        fail "el informe del trabajo siguiente difiere"
      fi
      leftovers=$(ls "$f" | grep -E 'parcial' || true)
      [ -z "$leftovers" ] || fail "quedan ficheros: $leftovers"
      [ -z "$(sql vexilo_p "SELECT 1 FROM pg_tables WHERE tablename = 'vexilo_publicacion'")" ] ||
        fail "queda la publicación anotada"
    fi
    [ "$ok" = 1 ] && passed=$((passed + 1))
  done
done
for db in vexilo_p vexilo_s0 vexilo_s1 vexilo_s2; do
  sql postgres "DROP DATABASE IF EXISTS $db WITH (FORCE)" > /dev/null
done
# The kills must have met the job on both sides of its commit, or the window above missed it.
point="confirmación"
[ -n "$keptAt" ] || fail "ninguna muerte ha llegado después de confirmar el trabajo"
echo "muertes con el trabajo guardado:$keptAt"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
