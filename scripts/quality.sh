#!/usr/bin/env bash
# Measures how well the recipe's network finds failed or cancelled jobs on every labelled real
# log, beside the baselines, with its attributes taken in log order, at the job's submission
# and at its start, and writes docs/quality.md (and docs/quality/<log>-roc.png).
#
#   scripts/quality.sh [--seeds N] [--logs DIR] [--build DIR] [--allow-missing]
#
# For each of the seven labelled logs in DIR (default ../shared/data/swf; NASA-iPSC has no
# labels), each setting (log, submit, start) and each seed 1..N (default 5):
# scripts/train-recipe.sh --as-of SETTING LOG RUN SEED. Its training data file does not depend
# on the seed (-p0 draws nothing: checked), so the baselines are trained once per setting, on
# the median seed's run. Every figure is the test ROC AUC of ombra-evaluate, the network's the
# median over the seeds; each network is also checked independently: the raw test rows go
# through ombra's own query loop and awk computes the Mann-Whitney AUC from the answers. The
# at-submit median seed's full report (baselines, importance, charts) follows the tables.
# Nothing is written unless every log found ran to the end; a log folder without any of the
# seven logs, or with fewer of them than the page holds, is refused (--allow-missing writes a
# page of the logs found). Not part of the test command.
set -euo pipefail
export LC_ALL=C
caller="$PWD"
cd "$(dirname "$0")/.."
root="$PWD"
seeds=5
logs="$root/../shared/data/swf"
build="$root/build"
allow_missing=0
while [ $# -gt 0 ]; do
  case "$1" in
    --seeds) seeds="${2:-}"; shift 2 || { echo "quality.sh: --seeds needs a value" >&2; exit 2; } ;;
    --logs) logs="${2:-}"; shift 2 || { echo "quality.sh: --logs needs a value" >&2; exit 2; } ;;
    --build) build="${2:-}"; shift 2 || { echo "quality.sh: --build needs a value" >&2; exit 2; } ;;
    --allow-missing) allow_missing=1; shift ;;
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "quality.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
case "$build" in /*) ;; *) build="$caller/$build" ;; esac
case "$logs" in /*) ;; *) logs="$caller/$logs" ;; esac
case "$seeds" in ''|*[!0-9]*|0) echo "quality.sh: --seeds needs a whole number of 1 or more" >&2; exit 2 ;; esac
[ -d "$logs" ] || { echo "quality.sh: no folder $logs" >&2; exit 2; }

names=(KTH-SP2-1996-2.1-cln LANL-CM5-1994-4.1-cln LLNL-Thunder-2007-1.1-cln
       CEA-Curie-2011-2.1-cln SDSC-BLUE-2000-4.2-cln METACENTRUM-2009-2 RICC-2010-2)
settings=(log submit start)
# The logs to measure, decided before any work: a page is never replaced by a shorter one
# unless that was asked for.
found=() missing=()
for name in "${names[@]}"; do
  if [ -f "$logs/$name.swf" ] || [ -f "$logs/$name.swf.gz" ]; then found+=("$name"); else missing+=("$name"); fi
done
if [ ${#found[@]} -eq 0 ]; then
  echo "quality.sh: none of the ${#names[@]} labelled logs is in $logs; docs/quality.md left as it is" >&2
  exit 1
fi
page_logs=0
if [ -f docs/quality.md ]; then
  for name in "${names[@]}"; do grep -q "^| $name |" docs/quality.md && page_logs=$((page_logs + 1)); done
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "quality.sh: not in $logs: ${missing[*]}" >&2
  if [ $allow_missing -eq 0 ] && [ ${#found[@]} -lt $page_logs ]; then
    echo "quality.sh: docs/quality.md holds $page_logs logs, $logs ${#found[@]} of them;" \
         "left as it is (--allow-missing writes a page of the logs found)" >&2
    exit 1
  fi
fi

bash scripts/install-deps.sh
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target tallis ombra ombra-evaluate >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/quality.XXXXXX")"
trap 'rm -rf "$work" docs/quality.md.new docs/quality/*.png.new' EXIT
trap 'echo "quality.sh: stopped before the end; docs/quality.md left as it was" >&2' ERR
mkdir -p docs/quality
started=$(date +%s)

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

# ROC AUC and PR AUC of a model's row of a report (names fill the first 25 characters).
figures() {
  awk -v model="$2" '{ name = substr($0, 1, 25); sub(/ +$/, "", name) }
    name == model { split(substr($0, 26), f, " "); print f[1], f[2]; exit }' "$1"
}
# The median of numbers, one per argument (the lower middle one of an even count).
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
# The independent ROC AUC of a network on the test rows of a training data file.
independent_auc() {
  local net="$1" data="$2" dir="$3"
  local inputs test_count
  read -r _ _ test_count < <(head -n 1 "$data")
  read -r inputs _ < <(sed -n 2p "$data")
  tail -n "$test_count" "$data" >"$dir/test-rows.txt"
  cut -f1-"$inputs" "$dir/test-rows.txt" | "$build/ombra" "$net" 2>/dev/null |
    grep -o 'Output: [^ ]*' | cut -d' ' -f2 >"$dir/answers.txt"
  cut -f"$((inputs + 1))" "$dir/test-rows.txt" | paste -d' ' - "$dir/answers.txt" | awk_auc
}
# A run's commands as the page shows them: paths within the project, the run folder as RUN.
relative() { sed -e "s|$2|RUN|g" -e "s|$root/||g" "$1"; }

summary="$work/summary.md"
seeds_table="$work/seeds.md"
details="$work/details.md"
: >"$summary"
: >"$seeds_table"
: >"$details"
for name in "${found[@]}"; do
  log="$logs/$name.swf"
  [ -f "$log" ] || log="$log.gz"
  echo "== $name ($(date -u +%T))" >&2
  row="| $name |"
  for setting in "${settings[@]}"; do
    dir="$work/$name/$setting"
    mkdir -p "$dir"
    setting_started=$(date +%s)
    nets=() prs=() checks=() recipe_seconds=()
    for ((s = 1; s <= seeds; s++)); do
      a="$dir/seed$s"
      seed_started=$(date +%s)
      BUILD_DIR="$build" bash scripts/train-recipe.sh --as-of "$setting" "$log" "$a" "$s" \
        >"$dir/recipe$s.txt" 2>"$dir/recipe$s.err"
      recipe_seconds+=($(($(date +%s) - seed_started)))
      if [ "$s" -gt 1 ] && ! cmp -s "$a/train.dat" "$dir/seed1/train.dat"; then
        echo "quality.sh: the recipe's training data file depends on the seed" >&2
        exit 1
      fi
      "$build/ombra-evaluate" "$a/net.bin" "$a/train.dat" --no-baselines --no-importance \
        >"$a/quick.txt" 2>/dev/null
      read -r auc pr < <(figures "$a/quick.txt" network)
      nets+=("$auc") prs+=("$pr")
      checks+=("$(independent_auc "$a/net.bin" "$a/train.dat" "$a")")
      echo "   $setting, seed $s: network $auc (independent ${checks[-1]}), ${recipe_seconds[-1]}s" >&2
    done
    median_auc="$(median "${nets[@]}")"
    median_seed=1
    for ((s = 1; s <= seeds; s++)); do [ "${nets[s - 1]}" = "$median_auc" ] && median_seed=$s && break; done
    report="$dir/report.txt"
    if [ "$setting" = submit ]; then
      (cd "$dir/seed$median_seed" && "$build/ombra-evaluate" net.bin train.dat --charts chart \
        >"$report" 2>progress.txt)
      cp "$dir/seed$median_seed/chart-roc.png" "docs/quality/$name-roc.png.new"
    else
      (cd "$dir/seed$median_seed" && "$build/ombra-evaluate" net.bin train.dat --no-importance \
        >"$report" 2>progress.txt)
    fi
    read -r trees _ < <(figures "$report" 'gradient-boosted trees')
    read -r lr _ < <(figures "$report" 'logistic regression')
    read -r rule _ < <(figures "$report" 'rule: last user+app fail')
    if [ "$setting" = log ]; then
      test_count="$(sed -n 's/^Evaluated: the \([0-9]*\) test samples.*/\1/p' "$report")"
      positives="$(sed -n 's/^Evaluated: .*, \([0-9]*\) failed or cancelled (\(.*\))$/\1 (\2)/p' "$report")"
      row="$row $test_count | $positives |"
    fi
    row="$row $median_auc | $trees | $lr | $rule |"
    printf '| %s | %s | %s | %s | %s | %s | %d | %d |\n' "$name" "$setting" \
      "$(printf '%s ' "${nets[@]}" | sed 's/ $//')" "$(median "${prs[@]}")" \
      "$(printf '%s ' "${checks[@]}" | sed 's/ $//')" "$median_seed" \
      "$(median "${recipe_seconds[@]}")" "$(($(date +%s) - setting_started))" >>"$seeds_table"
    if [ "$setting" = submit ]; then
      {
        echo "## $name"
        echo
        echo "At submit: the recipe's network, seed $median_seed (the median of ${seeds}:" \
             "$(printf '%s ' "${nets[@]}" | sed 's/ $//')); independent check of each:" \
             "$(printf '%s ' "${checks[@]}" | sed 's/ $//')."
        echo
        echo '```'
        sed -n '/^+ /p' "$dir/recipe$median_seed.txt" >"$dir/commands.txt"
        relative "$dir/commands.txt" "$dir/seed$median_seed"
        echo
        cat "$report"
        echo '```'
        echo
        echo "![ROC curves at submit, $name](quality/$name-roc.png)"
        echo
      } >>"$details"
    fi
    echo "   $setting: network $median_auc, trees $trees, logistic regression $lr, rule $rule" >&2
  done
  echo "$row" >>"$summary"
done

total=$(($(date +%s) - started))
logs_done=$(wc -l <"$summary")
# Counts over the at-submit columns: 8 network, 9 trees, 10 logistic regression, 11 rule.
count() { awk -F ' [|] ' '{ if ('"$1"') n++ } END { print n + 0 }' "$summary"; }
{
  cat <<EOF2
# Is the network any good? Measured on the real logs, at the moment of decision

Made by \`bash scripts/quality.sh\` (seeds: $seeds) on $(date -u +%Y-%m-%d), $(nproc) cores
($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')); the whole script took
$((total / 60)) min $((total % 60)) s. Every run is seeded (\`tallis -s\`, the \`Seed\` key), so
rerunning the script gives the same figures. Load average when the script ended:
$(cut -d' ' -f1-3 /proc/loadavg); other work shares the machine.

Each log is measured with the README's recipe, \`scripts/train-recipe.sh --as-of SETTING LOG
DIR SEED\`, in three settings, which differ only in what a job's attributes may know:

- **log order** (\`--as-of log\`): every earlier job of the log, its outcome included, whether or
  not it had ended when the job was submitted (the attributes' original definition);
- **at submit** (\`--as-of submit\`, the recipe's default): only what is known when the job is
  submitted: the outcomes of the jobs that had ended by then, the submissions made by then;
- **at start** (\`--as-of start\`): what is known when the job starts, its wait included.

**The at-submit figure is the one to believe.** An operator asks about a job when it is
submitted, and at that moment many of the user's earlier jobs are still queued or running, so
the log-order figures rank jobs with outcomes nobody can have yet and overstate what any model
will do in service, on some logs by a wide margin.

Every figure is the ROC AUC on the test samples (the last 20 % of the log, never rebalanced)
by \`ombra-evaluate NET train.dat\`; the network's is the median over the seeds 1 to $seeds. The
baselines are trained on the same training samples and stopped on the same validation samples
as the network; the rule is "the latest known job of the same user and application failed"
(the \`lsua\` input of that setting). No setting of the recipe was chosen per log or on the test
samples (see "How the recipe was chosen" below).

At submit, the network's median ROC AUC is at least the gradient-boosted trees' minus 0.01 on
$(count '$8 + 0 >= $9 - 0.01') of $logs_done logs and at least the trees' on $(count '$8 + 0 >= $9 + 0');
at least logistic regression's on $(count '$8 + 0 >= $10 + 0') and at least the rule's on $(count '$8 + 0 >= $11 + 0').

## ROC AUC on the test samples, three settings side by side

| Log | Test samples | Failed or cancelled | Log order: network | trees | logistic regression | rule | At submit: network | trees | logistic regression | rule | At start: network | trees | logistic regression | rule |
|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|
$(cat "$summary")

## Every seed

"Check" is each network's ROC AUC computed independently: the raw test rows of the training
data file go through \`ombra NET\`'s query loop and awk ranks the printed answers (six
significant digits, hence small differences). "Recipe (s)" is the median wall-clock time of one
\`train-recipe.sh\` run (\`tallis\` and \`ombra\`), "Total (s)" the time of that row's runs and
evaluations.

| Log | Setting | Network, seeds 1 to $seeds | Network PR AUC | Check, seeds 1 to $seeds | Median seed | Recipe (s) | Total (s) |
|---|---|---|---|---|---|---|---|
$(cat "$seeds_table")

Each log's full report at submit for the median seed follows: the commands the recipe ran
(RUN: the run's folder), every figure of every model, the network's counts at 0.5 and at its
best validation threshold, the XGBoost settings and the permutation importance.
EOF2
  echo
  cat "$details"
} >docs/quality.md.new
# The hand-written section on how the recipe was chosen survives a rerun.
if [ -f docs/quality.md ] && grep -q '^## How the recipe was chosen' docs/quality.md; then
  {
    echo
    sed -n '/^## How the recipe was chosen/,$p' docs/quality.md
  } >>docs/quality.md.new
fi
for name in "${found[@]}"; do mv "docs/quality/$name-roc.png.new" "docs/quality/$name-roc.png"; done
mv docs/quality.md.new docs/quality.md
echo "docs/quality.md written: $logs_done logs ($((total / 60)) min $((total % 60)) s)" >&2
