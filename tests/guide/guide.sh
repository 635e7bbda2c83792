#!/usr/bin/env bash
# Runs the commands of the technician's guide on the guide's own sample, in the guide's order, and
# compares what the programs print with what the guide quotes.
#   guide.sh GUIDE CLI HOLD
# GUIDE is docs/guia.md, CLI the built vexilo-cli, HOLD the helper that holds a database as a job does.
#
# The guide marks its blocks by the word after the opening fence:
#   ```orden [retenida] [estado=N]   commands run here, one a line, in a temporary folder that stands for
#                                    the guide's /home/ana; "retenida": while another job holds the
#                                    database that --bdd names; estado=N: the exit status (0 unless given)
#   ```salida                        what the commands of the orden block before it print (both outputs)
#   ```extracto FILE                 lines of FILE, in order; "..." in a line stands for any text, and a
#                                    line that is only "..." for any lines
#   ```ejemplo                       a command on a technician's own data or server: shown, not run
# Only the temporary folder (read as /home/ana), dates and times are normalised.
set -uo pipefail

guide=$1
cli=$2
hold=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
ln -s "$cli" "$work/bin/vexilo-cli"
export PATH="$work/bin:$PATH"
export LC_ALL=C.UTF-8

failures=0
ran=0
fail() {
  echo "FAILED ($1): $2"
  failures=$((failures + 1))
}

normalise() {
  sed -e "s#$work#/home/ana#g" \
      -e 's/[0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\}/AAAA-MM-DD/g' \
      -e 's/[0-9]\{2\}:[0-9]\{2\}:[0-9]\{2\}/hh:mm:ss/g'
}

# The lines of $2 (a file) contain those of $1 (a file), in order, "..." matching anything.
contains_in_order() {
  awk -v want="$1" '
    function pattern(line,   p) {
      p = line
      gsub(/[][\\^$.|?*+(){}]/, "\\\\&", p)
      gsub(/\\\.\\\.\\\./, ".*", p)
      return "^" p "$"
    }
    BEGIN { n = 0; while ((getline l < want) > 0) { if (l != "...") w[n++] = l } i = 0 }
    i < n && $0 ~ pattern(w[i]) { i++ }
    END { if (i < n) { print "missing: " w[i]; exit 1 } }
  ' "$2"
}

# Splits the guide into its marked blocks: block_kind[i], block_args[i], block_text[i], block_line[i].
block_kind=()
block_args=()
block_text=()
block_line=()
in_block=0
number=0
while IFS= read -r line || [ -n "$line" ]; do
  number=$((number + 1))
  if [ $in_block -eq 0 ] && [[ $line =~ ^\`\`\`(orden|salida|extracto|ejemplo)(\ (.*))?$ ]]; then
    in_block=1
    block_kind+=("${BASH_REMATCH[1]}")
    block_args+=("${BASH_REMATCH[3]}")
    block_line+=("$number")
    text=""
  elif [ $in_block -eq 1 ] && [ "$line" = '```' ]; then
    in_block=0
    block_text+=("$text")
  elif [ $in_block -eq 1 ]; then
    text+="$line"$'\n'
  fi
done <"$guide"
if [ $in_block -eq 1 ]; then
  fail "guide" "a block is not closed"
fi

cd "$work" || exit 1
last_output=""
last_command=""
for i in "${!block_kind[@]}"; do
  kind=${block_kind[$i]}
  args=${block_args[$i]}
  where="line ${block_line[$i]}"
  case $kind in
    orden)
      status=0
      [[ $args =~ estado=([0-9]+) ]] && status=${BASH_REMATCH[1]}
      holder_pid=""
      if [[ $args == *retenida* ]]; then
        database=$(sed -n 's/.*--bdd \([^ ]*\).*/\1/p' <<<"${block_text[$i]}" | head -1)
        coproc HOLDER { "$hold" "$database"; }
        read -r -t 30 answer <&"${HOLDER[0]}"
        holder_pid=$HOLDER_PID
        if [ "$answer" != held ]; then
          fail "$where" "could not hold $database for the command"
        fi
      fi
      # A tool the guide asks the technician to install (sqlite3, jq) that is missing here skips its command.
      tool=$(awk 'NR == 1 { print $1 }' <<<"${block_text[$i]}")
      if [ "$tool" != vexilo-cli ] && ! command -v "$tool" >/dev/null; then
        echo "SKIPPED ($where): $tool is not installed"
        last_output=""
        last_command=""
        continue
      fi
      last_output=$(bash -c "${block_text[$i]}" 2>&1)
      got=$?
      if [ -n "$holder_pid" ]; then
        eval "exec ${HOLDER[1]}>&-"
        wait "$holder_pid"
      fi
      ran=$((ran + 1))
      last_command=${block_text[$i]}
      echo "== $where: ${block_text[$i]%%$'\n'*}"
      if [ "$got" -ne "$status" ]; then
        fail "$where" "exit status $got, the guide says $status"$'\n'"$last_output"
      fi
      ;;
    salida)
      if [ -z "$last_command" ]; then
        echo "SKIPPED ($where): its command did not run"
        continue
      fi
      want=$(printf '%s' "${block_text[$i]}" | normalise)
      have=$(printf '%s\n' "$last_output" | normalise)
      if [ "$want" != "$have" ]; then
        fail "$where" "the output of '${last_command%%$'\n'*}' is not what the guide quotes (< guide, > program):"$'\n'"$(diff <(echo "$want") <(echo "$have"))"
      fi
      ;;
    extracto)
      file=$args
      if [ ! -f "$file" ]; then
        fail "$where" "$file does not exist"
        continue
      fi
      printf '%s' "${block_text[$i]}" | normalise >"$work/.want"
      normalise <"$file" >"$work/.have"
      if ! why=$(contains_in_order "$work/.want" "$work/.have"); then
        fail "$where" "$file lacks what the guide quotes: $why"
      fi
      ;;
  esac
done

if [ $ran -eq 0 ]; then
  fail "guide" "no command is marked"
fi
echo "$ran commands of the guide run, $failures failed"
[ $failures -eq 0 ]
