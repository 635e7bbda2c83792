#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with, when they are missing.
# Run as root (CI and the README's commands do); a second call finds everything and returns at once.
set -euo pipefail

PAQUETES=(
  build-essential cmake pkg-config clang-format ccache
  qt6-base-dev libqt6sql6-sqlite libgl-dev libsqlite3-dev qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  mdbtools-dev libglib2.0-dev
  # the server engine: QtSql's PostgreSQL driver, libpq, and the server the tests start for themselves
  postgresql libqt6sql6-psql libpq-dev
  # the package check (CTest Package.FileList): lintian on the package
  lintian
  # the fault tests: a job killed at every write boundary (strace), its database read back (sqlite3)
  strace sqlite3
  # only for `make fuzz`: clang and its libFuzzer runtime
  clang libclang-rt-14-dev
)

faltan=()
for p in "${PAQUETES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    faltan+=("$p")
  fi
done

if [ ${#faltan[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${faltan[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "These packages are missing and installing them needs root: ${faltan[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${faltan[@]}"
