#!/usr/bin/env bash
# Measures how well the network finds failed or cancelled jobs on every labelled real log,
# beside the baselines, and writes docs/quality.md (and docs/quality/<log>-roc.png).
#
#   scripts/quality.sh [--runs N] [--logs DIR] [--build DIR]
#
# For each of the seven logs in DIR (default ../shared/data/swf; NASA-iPSC has no labels):
# tallis with the README's end-to-end recipe, then N (default 3) trainings of the README's
# network (BP, 10 hidden neurons, 500 epochs) on that one training data file, each evaluated
# with ombra-evaluate; the run with the median test ROC AUC is evaluated again in full
# (baselines, importance, charts). Its ROC AUC is checked independently: the test rows go
# through ombra's own query loop and awk computes the Mann-Whitney AUC from the answers.
# tallis deletes random completed jobs and ombra starts from random weights, so every run
# differs a little; the baselines are deterministic for a given training data file.
# Takes long (about an hour on two cores); it is not part of the test command.
set -euo pipefail
export LC_ALL=C
caller="$PWD"
cd "$(dirname "$0")/.."
root="$PWD"
runs=3
logs="$root/../shared/data/swf"
build="$root/build"
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --logs) logs="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "quality.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
case "$build" in /*) ;; *) build="$caller/$build" ;; esac
case "$logs" in /*) ;; *) logs="$caller/$logs" ;; esac
case "$runs" in ''|*[!0-9]*|0) echo "quality.sh: --runs needs a whole number of 1 or more" >&2; exit 2 ;; esac
[ -d "$logs" ] || { echo "quality.sh: no folder $logs" >&2; exit 2; }

bash scripts/install-deps.sh
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target tallis ombra ombra-evaluate >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/quality.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p docs/quality
started=$(date +%s)
keys=sT,wT,rCPU,rT,rM,uID,lsu,lsa,lsua,lc,lrt,lCPUt,ea,ec
names=(KTH-SP2-1996-2.1-cln LANL-CM5-1994-4.1-cln LLNL-Thunder-2007-1.1-cln
       CEA-Curie-2011-2.1-cln SDSC-BLUE-2000-4.2-cln METACENTRUM-2009-2 RICC-2010-2)

# The ROC AUC of "target output" lines: ranks with ties averaged (Mann-Whitney).
awk_auc() {
  sort -g -k2,2 | awk '
    { target[NR] = $1 > 0.5; output[NR] = $2 }
    END {
      i = 1
      while (i <= NR) {
        j = i
        while (j < NR && output[j + 1] == output[i]) j++
        for (k = i; k <= j; k++) if (target[k]) { ranks += (i + j) / 2; p++ }
        i = j + 1
      }
      n = NR - p
      if (p == 0 || n == 0) print "n/a"; else printf "%.4f\n", (ranks - p * (p + 1) / 2) / (p * n)
    }'
}

# The ROC AUC of the network row of a report.
network_auc() { awk '$1 == "network" { print $2; exit }' "$1"; }

summary="$work/summary.md"
details="$work/details.md"
: >"$summary"
: >"$details"
for name in "${names[@]}"; do
  log="$logs/$name.swf"
  [ -f "$log" ] || log="$log.gz"
  if [ ! -f "$log" ]; then
    echo "quality.sh: $name not found in $logs, skipped" >&2
    continue
  fi
  log_started=$(date +%s)
  dir="$work/$name"
  mkdir -p "$dir"
  echo "== $name ($(date -u +%T))" >&2
  "$build/samples/tallis" -i"$keys" -os -r60:20:20 -p0.5 "$log" "$dir/train.dat" >"$dir/tallis.txt"
  read -r _ _ test_count < <(head -n 1 "$dir/train.dat")
  read -r inputs outputs < <(sed -n 2p "$dir/train.dat")
  printf '%s 10 1\n' "$inputs" >"$dir/net.cfg"
  printf 'Learning rate: 0.02\nStrip length: 10\nIterations: 500\n' >"$dir/bp.txt"

  aucs=()
  for ((r = 1; r <= runs; r++)); do
    (cd "$dir" && "$build/ombra" BP net.cfg train.dat bp.txt "net$r.bin" </dev/null >"train$r.txt")
    "$build/ombra-evaluate" "$dir/net$r.bin" "$dir/train.dat" --no-baselines --no-importance \
      >"$dir/quick$r.txt" 2>/dev/null || true
    aucs+=("$(network_auc "$dir/quick$r.txt") $r")
    echo "   run $r: network ROC AUC ${aucs[-1]% *}" >&2
  done
  sorted="$(printf '%s\n' "${aucs[@]}" | sort -g)"
  median_run="$(echo "$sorted" | sed -n "$(((runs + 1) / 2))p" | cut -d' ' -f2)"
  lowest="$(echo "$sorted" | head -n 1 | cut -d' ' -f1)"
  highest="$(echo "$sorted" | tail -n 1 | cut -d' ' -f1)"

  report="$dir/report.txt"
  status=0
  evaluate_started=$(date +%s)
  (cd "$dir" && "$build/ombra-evaluate" "net$median_run.bin" train.dat --charts chart \
    >"$report" 2>progress.txt) || status=$?
  evaluate_seconds=$(($(date +%s) - evaluate_started))
  cp "$dir/chart-roc.png" "docs/quality/$name-roc.png"

  # Independent check: the raw test rows through ombra's query loop, AUC by awk.
  tail -n "$test_count" "$dir/train.dat" >"$dir/test-rows.txt"
  cut -f1-"$inputs" "$dir/test-rows.txt" |
    "$build/ombra" "$dir/net$median_run.bin" 2>/dev/null |
    grep -o 'Output: [^ ]*' | cut -d' ' -f2 >"$dir/answers.txt"
  cut -f"$((inputs + 1))" "$dir/test-rows.txt" | paste -d' ' - "$dir/answers.txt" >"$dir/pairs.txt"
  independent="$(awk_auc <"$dir/pairs.txt")"

  # The ROC AUC of a model's row of the table (names fill the first 25 characters).
  row() {
    awk -v model="$1" '{ name = substr($0, 1, 25); sub(/ +$/, "", name) }
      name == model { split(substr($0, 26), figures, " "); print figures[1]; exit }' "$report"
  }
  positives="$(sed -n 's/^Evaluated: .*, \([0-9]*\) failed or cancelled (\(.*\))$/\1 (\2)/p' "$report")"
  seconds=$(($(date +%s) - log_started))
  printf '| %s | %s | %s | %s | %s–%s | %s | %s | %s | %s | %s | %s | %d | %d |\n' \
    "$name" "$test_count" "$positives" "$(row network)" "$lowest" "$highest" \
    "$(row 'prior (training share)')" "$(row 'rule: last user+app fail')" \
    "$(row 'logistic regression')" "$(row 'gradient-boosted trees')" "$independent" \
    "$status" "$evaluate_seconds" "$seconds" >>"$summary"
  {
    echo "## $name"
    echo
    echo "\`tallis\`: $(grep '^num jobs' "$dir/tallis.txt" | tail -n 1 | cut -d= -f2) finished jobs," \
         "$(sed -n 's/^LUT size=//p' "$dir/tallis.txt") users, $inputs inputs; samples written:" \
         "$(sed -n 's/^positives = \([0-9]*\).*negatives= \([0-9]*\)$/\1 failed or cancelled, \2 completed/p' "$dir/tallis.txt")."
    echo "Network ROC AUC of the $runs runs: $(printf '%s\n' "${aucs[@]}" | cut -d' ' -f1 | paste -sd' ')" \
         "(the report below is run $median_run, the median). Independent check: $independent."
    echo
    echo '```'
    cat "$report"
    echo '```'
    echo
    echo "![ROC curves, $name](quality/$name-roc.png)"
    echo
  } >>"$details"
  echo "   median run $median_run: $(row network) (independent $independent), ${seconds}s" >&2
done

total=$(($(date +%s) - started))
# On how many logs the network's median run is below a baseline (the column of its ROC AUC).
below() {
  awk -F ' [|] ' -v column="$1" '$4 + 0 < $column + 0 { below++ } END { print below + 0 }' "$summary"
}
logs_done=$(wc -l <"$summary")
{
  cat <<EOF2
# Is the network any good? Measured on the real logs

Made by \`bash scripts/quality.sh\` (runs: $runs) on $(date -u +%Y-%m-%d), $(nproc) cores
($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')); the whole script took
$((total / 60)) min $((total % 60)) s. Rerun it to reproduce: the figures move a little from
run to run, because \`tallis\` deletes random completed jobs and \`ombra\` starts from random
weights; for one training data file the baselines are deterministic.

Recipe, as in the README's "A real log, end to end": \`tallis -i$keys -os -r60:20:20 -p0.5\`,
a network of \`<inputs> 10 1\`, \`BP\` with learning rate 0.02, strip length 10 and 500 epochs.
Every log is trained $runs times on the same training data file; the table shows the run with
the median test ROC AUC (and the range over the runs), evaluated by
\`ombra-evaluate NET train.dat\`. Every model is judged on the same test samples (the last 20 %
of the log, never rebalanced); the baselines are trained on the same training samples and
stopped on the same validation samples as the network.

"Check" is the network's ROC AUC computed independently: the raw test rows of the training
data file go through \`ombra NET\`'s query loop and awk ranks the printed answers (six
significant digits, hence small differences). "Status" is the exit status of
\`ombra-evaluate\` (0: every figure defined). "Evaluate" is the wall-clock seconds of that full
\`ombra-evaluate\` run (reading the file, both learned baselines, importance, charts), "Total"
the seconds the log took, all trainings included. Load average of the machine when the
script ended: $(cut -d' ' -f1-3 /proc/loadavg); other work shares the machine, so the times
are wall clock under that load.

On the median runs, the network's test ROC AUC is below the gradient-boosted trees on
$(below 9) of $logs_done logs, below logistic regression on $(below 8) and below the rule
"previous job of the same user and application failed" on $(below 7).

## ROC AUC on the test samples

| Log | Test samples | Failed or cancelled | Network | Network, all runs | Prior | Rule: last user+app failed | Logistic regression | Gradient-boosted trees | Check | Status | Evaluate (s) | Total (s) |
|---|---|---|---|---|---|---|---|---|---|---|---|---|
$(cat "$summary")

Each log's full report follows: every figure of every model, the network's counts at 0.5 and
at its best validation threshold, the XGBoost settings and the permutation importance.
EOF2
  echo
  cat "$details"
} >docs/quality.md
echo "docs/quality.md written ($((total / 60)) min $((total % 60)) s)" >&2
