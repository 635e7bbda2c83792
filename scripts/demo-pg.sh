#!/usr/bin/env bash
# The demo on a PostgreSQL server: the sample's database written to the server, then the job on it in
# the default mode and in the rewrite mode. With VEXILO_PG set (a postgresql:// URI of a database that
# is missing or empty) it uses that server; otherwise it starts a throwaway cluster of its own in a
# temporary folder, listening only on a Unix socket there, and stops and removes it at the end, also
# when a step fails. The server refuses to run as root, so as root it runs as the `postgres` user.
#   scripts/demo-pg.sh CLI CARPETA
set -euo pipefail

CLI=$1
CARPETA=$2
PGBIN=${PGBIN:-$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)}

como_servidor() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

cluster=
para_cluster() {
  if [ -n "$cluster" ]; then
    como_servidor "$PGBIN/pg_ctl" -D "$cluster/data" -m fast -w stop > /dev/null || true
    rm -rf "$cluster"
  fi
}
trap para_cluster EXIT

if [ -n "${VEXILO_PG:-}" ]; then
  uri=$VEXILO_PG
else
  if [ -z "$PGBIN" ] || [ ! -x "$PGBIN/initdb" ]; then
    echo "No se encuentran los programas del servidor PostgreSQL (make deps los instala)." >&2
    exit 1
  fi
  cluster=$(mktemp -d /tmp/vexilo-demo-pg-XXXXXX)
  if [ "$(id -u)" -eq 0 ]; then chown postgres "$cluster"; fi
  usuario=$(if [ "$(id -u)" -eq 0 ]; then echo postgres; else id -un; fi)
  como_servidor "$PGBIN/initdb" -D "$cluster/data" -U "$usuario" -A trust -E UTF8 --locale=C.UTF-8 \
    --no-sync --no-instructions > /dev/null
  como_servidor "$PGBIN/pg_ctl" -D "$cluster/data" -l "$cluster/servidor.log" -w \
    -o "-c listen_addresses='' -c unix_socket_directories='$cluster'" start > /dev/null
  echo "== servidor PostgreSQL de prueba en $cluster (se para al final)"
  uri="postgresql://$usuario@/vexilo_demo?host=$cluster"
fi

rm -rf "$CARPETA"
"$CLI" demo "$CARPETA" --bdd "$uri"
echo
echo "== procesar, modo por defecto (Mantener Asignaciones gráficas: No)"
"$CLI" procesar --bdd "$uri" --bin "$CARPETA/muestra.bin"
echo
echo "== procesar, modo texto (Modificar Texto en Bin) sobre la salida"
"$CLI" procesar --bdd "$uri" --bin "$CARPETA/muestra_s.bin" --modo texto
