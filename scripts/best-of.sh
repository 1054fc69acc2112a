#!/usr/bin/env bash
# Runs an experiment command (an ombra-timings command line without --result) REPEATS times
# and writes RESULT with, for every count, the smallest time of the runs: other processes on
# the machine and first-launch compilation only ever add time. A failing run stops it: its
# last output lines go to standard error and its status is returned.
#
#   scripts/best-of.sh REPEATS RESULT COMMAND...   (run files runN_RESULT in the working folder)
set -euo pipefail
if [ "$#" -lt 3 ]; then
  echo "usage: best-of.sh REPEATS RESULT COMMAND..." >&2
  exit 2
fi
repeats="$1"
result="$2"
shift 2
runs=()
for ((r = 1; r <= repeats; r++)); do
  status=0
  "$@" --result "run${r}_$result" >"run${r}_$result.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 3 "run${r}_$result.log" >&2
    exit "$status"
  fi
  runs+=("run${r}_$result")
done
awk -F ';' '
  FNR == 1 { if (NR == 1) print; next }
  { if (!($1 in best)) { order[++count] = $1; best[$1] = $2 }
    else if ($2 + 0 < best[$1] + 0) best[$1] = $2 }
  END { for (i = 1; i <= count; i++) print order[i] ";" best[order[i]] }' "${runs[@]}" >"$result"
