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
source "$(dirname "$0")/pg-server.sh"
servidor_pg vexilo_demo

rm -rf "$CARPETA"
"$CLI" demo "$CARPETA" --bdd "$uri"
echo
echo "== procesar, modo por defecto (Mantener Asignaciones gráficas: No)"
"$CLI" procesar --bdd "$uri" --bin "$CARPETA/muestra.bin"
echo
echo "== procesar, modo texto (Modificar Texto en Bin) sobre la salida"
"$CLI" procesar --bdd "$uri" --bin "$CARPETA/muestra_s.bin" --modo texto
