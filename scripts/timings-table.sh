#!/usr/bin/env bash
# Prints one Markdown table of timing result files of one kind: a row per measured count, a
# column per trainer, milliseconds per iteration. A trainer whose file is missing, or that
# lacks a count, shows "-".
#
#   scripts/timings-table.sh KIND TYPE...      (reads KIND_TYPE.csv from the working directory)
set -euo pipefail
if [ "$#" -lt 2 ]; then
  echo "usage: timings-table.sh KIND TYPE..." >&2
  exit 2
fi
kind="$1"
shift

label=""  # the count's name, from the first file's header
arguments=()
column=0
for type in "$@"; do
  column=$((column + 1))
  file="${kind}_$type.csv"
  [ -s "$file" ] || continue
  [ -n "$label" ] || label="$(head -n 1 "$file" | cut -d';' -f1 | sed 's/^ *//')"
  arguments+=("column=$column" "$file")
done
label="${label:-$kind}"

printf '| %s |' "$label"
for type in "$@"; do printf ' %s (ms) |' "$type"; done
echo
printf '|---|'
for type in "$@"; do printf -- '---:|'; done
echo
[ "${#arguments[@]}" -gt 0 ] || exit 0
awk -F ';' -v columns="$#" '
  FNR == 1 { next }
  { if (!($1 in seen)) { seen[$1] = 1; keys[++count] = $1 }
    time[$1, column] = sprintf("%.3f", $2 * 1000) }
  END {
    for (i = 1; i <= count; i++) {
      line = "| " keys[i] " |"
      for (c = 1; c <= columns; c++) {
        line = line " " ((keys[i], c) in time ? time[keys[i], c] : "-") " |"
      }
      print line
    }
  }' "${arguments[@]}"
