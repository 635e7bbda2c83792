#!/usr/bin/env bash
# A PostgreSQL server for the demo and the benchmark, sourced by their scripts. With VEXILO_PG set (a
# postgresql:// URI) that server is used; otherwise servidor_pg starts a throwaway cluster in a
# temporary folder, listening only on a Unix socket there, stopped and removed when the script ends,
# also when a step fails. The server refuses to run as root, so as root it runs as the `postgres` user.
#   servidor_pg BASE   sets $uri to the database BASE of the server

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

servidor_pg() {
  if [ -n "${VEXILO_PG:-}" ]; then
    uri=$VEXILO_PG
  else
    if [ -z "$PGBIN" ] || [ ! -x "$PGBIN/initdb" ]; then
      echo "No se encuentran los programas del servidor PostgreSQL (make deps los instala)." >&2
      exit 1
    fi
    cluster=$(mktemp -d /tmp/vexilo-pg-XXXXXX)
    if [ "$(id -u)" -eq 0 ]; then chown postgres "$cluster"; fi
    usuario=$(if [ "$(id -u)" -eq 0 ]; then echo postgres; else id -un; fi)
    como_servidor "$PGBIN/initdb" -D "$cluster/data" -U "$usuario" -A trust -E UTF8 --locale=C.UTF-8 \
      --no-sync --no-instructions > /dev/null
    como_servidor "$PGBIN/pg_ctl" -D "$cluster/data" -l "$cluster/servidor.log" -w \
      -o "-c listen_addresses='' -c unix_socket_directories='$cluster'" start > /dev/null
    echo "== servidor PostgreSQL de prueba en $cluster (se para al final)"
    uri="postgresql://$usuario@/$1?host=$cluster"
  fi
}
