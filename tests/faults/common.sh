# What the fault scripts share; sourced by each of them.

# Leaves with a Spanish line when a program the script needs is missing.
needs() {  # program...
  local missing=()
  for p in "$@"; do command -v "$p" > /dev/null || missing+=("$p"); done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "${missing[*]} hace(n) falta para esta prueba" >&2
    exit 1
  fi
}

# A folder of the script's own, removed when it ends: $work.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The attribute tables and the run log of a sample's SQLite database without the moment of each row,
# the paths made relative to `folder`.
dump() {  # database folder
  local db=$1 folder=$2
  for t in CALLES NUEVA PARCELAS RIOS; do
    sqlite3 "$db" "SELECT * FROM $t ORDER BY rowid" 2> /dev/null
  done
  sqlite3 "$db" "SELECT NombreTabla, mslink, RegistroATR, replace(NombreFichero, '$folder/', ''), TMapa
                 FROM CONTROLPROCESO ORDER BY rowid" 2> /dev/null
}

# A report with its folder's paths made relative, so that reports of two folders compare.
reportOf() {  # file folder
  sed "s#$2/##g" "$1" 2> /dev/null
}

# The partial file that the sample's database records for a final name ending so, if any.
recordedPartial() {  # folder final-name
  sqlite3 "$1/muestra.sqlite" "SELECT parcial FROM vexilo_publicacion WHERE final LIKE '%$2'" 2> /dev/null
}

# Whether the sample's database still holds a record of publications.
holdsPublications() {  # folder
  [ -n "$(sqlite3 "$1/muestra.sqlite" "SELECT name FROM sqlite_master WHERE name = 'vexilo_publicacion'")" ]
}
