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

# Which job a dumped state is the database after: 0 (before the job), 1 (after it) or -1 (neither),
# against $work/state0 and $work/state1. A job that writes nothing to the database (readonly=1, the
# rewrite) is told kept by its drawing in `folder`, under its name or recorded as `recorded`.
keptOf() {  # state-file folder recorded
  if [ "${readonly:-0}" = 1 ] && cmp -s "$1" "$work/state0"; then
    if [ -e "$2/muestra_s.bin" ] || [ -n "$3" ]; then echo 1; else echo 0; fi
  elif cmp -s "$1" "$work/state0"; then
    echo 0
  elif cmp -s "$1" "$work/state1"; then
    echo 1
  else
    echo -1
  fi
}

# What a stopped job left in `folder` of its output drawing and its report: each absent or whole (as in
# $work/s1); neither for a job the database did not keep; for a kept one, each under its name or as a
# partial file that the database `where` records. Uses the script's fail, reportOf and recordedPartial.
checkFilesLeft() {  # folder kept where
  local f=$1 kept=$2 where=$3 name partial
  if [ -e "$f/muestra_s.bin" ] && ! cmp -s "$f/muestra_s.bin" "$work/s1/muestra_s.bin"; then
    fail "el dibujo de salida no está entero"
  fi
  if [ -e "$f/informe.json" ] && [ "$(reportOf "$f/informe.json" "$f")" != "$(reportOf "$work/s1/informe.json" "$work/s1")" ]; then
    fail "el informe no está entero"
  fi
  if [ "$kept" = 0 ]; then
    [ -e "$f/muestra_s.bin" ] && fail "hay dibujo de salida de un trabajo no guardado"
    [ -e "$f/informe.json" ] && fail "hay informe de un trabajo no guardado"
  fi
  if [ "$kept" = 1 ]; then
    for name in muestra_s.bin informe.json; do
      if [ ! -e "$f/$name" ]; then
        partial=$(recordedPartial "$where" "$name")
        if [ -z "$partial" ] || [ ! -e "$partial" ]; then
          fail "el trabajo guardado no tiene $name ni un fichero anotado que lo dé"
        fi
      fi
    done
  fi
  return 0
}
