#!/usr/bin/env bash
# The ROC AUC of the scores ombra-score printed, against the outcomes in the same table: the
# chance that a random failed or cancelled job (status 0 or 5) scored above a random completed
# one (status 1), ties counting one half. Rows without an outcome are left out, and so is the
# header. The calibrated score and the raw output rank the jobs alike, so both give one figure.
#
#   scripts/score-auc.sh [--from JOB] SCORES.csv     (- for standard input)
#
# --from JOB: only the rows from the first one of that job number on (the jobs after a cut).
set -euo pipefail
export LC_ALL=C

from=""
if [ "${1:-}" = "--from" ]; then
  [ $# -ge 2 ] || { echo "score-auc.sh: --from needs a job number" >&2; exit 2; }
  from="$2"
  shift 2
fi
if [ $# -ne 1 ]; then
  sed -n '7p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
input="$1"
[ "$input" = - ] || [ -r "$input" ] || { echo "score-auc.sh: cannot read $input" >&2; exit 2; }

# Rows as "score class", then by falling score: each run of equal scores is one group, whose
# positives count every negative below it and half of those beside it.
awk -F, -v from="$from" '
  $1 == "job" { next }
  from != "" && !started { if ($1 != from) next; started = 1 }
  $5 == 0 || $5 == 5 { print $6, 1; next }
  $5 == 1 { print $6, 0 }
' "$input" | sort -g -r -k1,1 | awk '
  { scores[NR] = $1; classes[NR] = $2; if ($2) p++; else n++ }
  END {
    if (p == 0 || n == 0) { print "score-auc.sh: needs failed or cancelled and completed jobs" > "/dev/stderr"; exit 1 }
    # left: the negatives in this group and below it
    left = n
    for (i = 1; i <= NR; ) {
      gp = 0; gn = 0
      for (j = i; j <= NR && scores[j] == scores[i]; j++) { if (classes[j]) gp++; else gn++ }
      u += gp * (left - gn) + gp * gn / 2
      left -= gn
      i = j
    }
    printf "ROC AUC %.4f over %d jobs, %d of them failed or cancelled\n", u / (p * n), p + n, p
  }'
