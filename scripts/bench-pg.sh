#!/usr/bin/env bash
# The job on a PostgreSQL server beside the job on SQLite (bench/bench_server.cpp), on a throwaway
# cluster or on the server that VEXILO_PG names (its user must be allowed to create databases).
#   scripts/bench-pg.sh BENCH_SERVER [benchmark options...]
set -euo pipefail

BENCH=$1
shift
source "$(dirname "$0")/pg-server.sh"
servidor_pg postgres

VEXILO_BENCH_PG=$uri "$BENCH" "$@"
