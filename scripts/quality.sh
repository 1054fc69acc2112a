#!/usr/bin/env bash
# Measures how well the network finds failed or cancelled jobs on every labelled real log,
# beside the baselines, before and after the recipe of scripts/train-recipe.sh, and writes
# docs/quality.md (and docs/quality/<log>-roc.png).
#
#   scripts/quality.sh [--seeds N] [--logs DIR] [--build DIR]
#
# For each of the seven logs in DIR (default ../shared/data/swf; NASA-iPSC has no labels) and
# each seed 1..N (default 5):
# - before: the earlier end-to-end recipe (tallis with the one-hot user and raw times, -p0.5;
#   a network of 10 hidden neurons; BP, learning rate 0.02, strip length 10, 500 epochs),
#   seeded with tallis -s and the Seed key so that it repeats; every seed has its own training
#   data file (-p0.5 deletes random completed jobs), so the baselines are trained per seed;
# - after: scripts/train-recipe.sh LOG DIR SEED; its training data file does not depend on
#   the seed (-p0 draws nothing: checked), so the baselines are trained once.
# Every figure is the test ROC AUC of ombra-evaluate, the median over the seeds. The after
# recipe's networks are also checked independently: the raw test rows go through ombra's own
# query loop and awk computes the Mann-Whitney AUC from the answers. The median seed's full
# report (baselines, importance, charts) follows the tables. Not part of the test command.
set -euo pipefail
export LC_ALL=C
caller="$PWD"
cd "$(dirname "$0")/.."
root="$PWD"
seeds=5
logs="$root/../shared/data/swf"
build="$root/build"
while [ $# -gt 0 ]; do
  case "$1" in
    --seeds) seeds="$2"; shift 2 ;;
    --logs) logs="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "quality.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
case "$build" in /*) ;; *) build="$caller/$build" ;; esac
case "$logs" in /*) ;; *) logs="$caller/$logs" ;; esac
case "$seeds" in ''|*[!0-9]*|0) echo "quality.sh: --seeds needs a whole number of 1 or more" >&2; exit 2 ;; esac
[ -d "$logs" ] || { echo "quality.sh: no folder $logs" >&2; exit 2; }

bash scripts/install-deps.sh
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target tallis ombra ombra-evaluate >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/quality.XXXXXX")"
trap 'rm -rf "$work" docs/quality.md.new' EXIT
mkdir -p docs/quality
started=$(date +%s)
before_keys=sT,wT,rCPU,rT,rM,uID,lsu,lsa,lsua,lc,lrt,lCPUt,ea,ec
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
  dir="$work/$name"
  mkdir -p "$dir"
  echo "== $name ($(date -u +%T))" >&2

  # Before: the earlier recipe, a training data file and a full evaluation per seed.
  log_started=$(date +%s)
  b_net=() b_pr=() b_trees=() b_lr=() b_rule=()
  for ((s = 1; s <= seeds; s++)); do
    b="$dir/before$s"
    mkdir -p "$b"
    "$build/samples/tallis" -i"$before_keys" -os -r60:20:20 -p0.5 -s"$s" "$log" "$b/train.dat" >"$b/tallis.txt"
    read -r inputs _ < <(sed -n 2p "$b/train.dat")
    printf '%s 10 1\n' "$inputs" >"$b/net.cfg"
    printf 'Learning rate: 0.02\nStrip length: 10\nIterations: 500\nSeed: %s\n' "$s" >"$b/bp.txt"
    "$build/ombra" BP "$b/net.cfg" "$b/train.dat" "$b/bp.txt" "$b/net.bin" </dev/null >"$b/ombra.txt"
    "$build/ombra-evaluate" "$b/net.bin" "$b/train.dat" --no-importance >"$b/report.txt" 2>/dev/null || true
    read -r auc pr < <(figures "$b/report.txt" network)
    b_net+=("$auc") b_pr+=("$pr")
    b_trees+=("$(figures "$b/report.txt" 'gradient-boosted trees' | cut -d' ' -f1)")
    b_lr+=("$(figures "$b/report.txt" 'logistic regression' | cut -d' ' -f1)")
    b_rule+=("$(figures "$b/report.txt" 'rule: last user+app fail' | cut -d' ' -f1)")
    echo "   before, seed $s: network $auc, trees ${b_trees[-1]}" >&2
  done
  before_seconds=$(($(date +%s) - log_started))

  # After: the recipe; one training data file for every seed, so one set of baselines.
  log_started=$(date +%s)
  a_net=() a_pr=() a_check=() recipe_seconds=()
  for ((s = 1; s <= seeds; s++)); do
    a="$dir/after$s"
    seed_started=$(date +%s)
    BUILD_DIR="$build" bash scripts/train-recipe.sh "$log" "$a" "$s" >"$dir/recipe$s.txt" 2>/dev/null
    recipe_seconds+=($(($(date +%s) - seed_started)))
    if [ "$s" -gt 1 ] && ! cmp -s "$a/train.dat" "$dir/after1/train.dat"; then
      echo "quality.sh: the recipe's training data file depends on the seed" >&2
      exit 1
    fi
    "$build/ombra-evaluate" "$a/net.bin" "$a/train.dat" --no-baselines --no-importance \
      >"$a/quick.txt" 2>/dev/null || true
    read -r auc pr < <(figures "$a/quick.txt" network)
    a_net+=("$auc") a_pr+=("$pr")
    a_check+=("$(independent_auc "$a/net.bin" "$a/train.dat" "$a")")
    echo "   after, seed $s: network $auc (independent ${a_check[-1]}), ${recipe_seconds[-1]}s" >&2
  done
  median_auc="$(median "${a_net[@]}")"
  median_seed=1
  for ((s = 1; s <= seeds; s++)); do [ "${a_net[s - 1]}" = "$median_auc" ] && median_seed=$s && break; done
  report="$dir/report.txt"
  status=0
  (cd "$dir/after$median_seed" && "$build/ombra-evaluate" net.bin train.dat --charts chart \
    >"$report" 2>progress.txt) || status=$?
  cp "$dir/after$median_seed/chart-roc.png" "docs/quality/$name-roc.png"
  after_seconds=$(($(date +%s) - log_started))
  read -r trees _ < <(figures "$report" 'gradient-boosted trees')
  read -r lr _ < <(figures "$report" 'logistic regression')
  read -r rule _ < <(figures "$report" 'rule: last user+app fail')
  test_count="$(sed -n 's/^Evaluated: the \([0-9]*\) test samples.*/\1/p' "$report")"
  positives="$(sed -n 's/^Evaluated: .*, \([0-9]*\) failed or cancelled (\(.*\))$/\1 (\2)/p' "$report")"

  printf '| %s | %s | %s | before | %s | %s | %s | %s | %s | %s | %s | %s | %d |\n' \
    "$name" "$test_count" "$positives" "$(median "${b_net[@]}")" "$(median "${b_pr[@]}")" \
    "$(printf '%s ' "${b_net[@]}" | sed 's/ $//')" "$(median "${b_trees[@]}")" \
    "$(median "${b_lr[@]}")" "$(median "${b_rule[@]}")" "" "" "$before_seconds" >>"$summary"
  printf '| %s | %s | %s | after | %s | %s | %s | %s | %s | %s | %s | %s | %d |\n' \
    "$name" "$test_count" "$positives" "$median_auc" "$(median "${a_pr[@]}")" \
    "$(printf '%s ' "${a_net[@]}" | sed 's/ $//')" "$trees" "$lr" "$rule" \
    "$(median "${a_check[@]}")" "$(median "${recipe_seconds[@]}")" "$after_seconds" >>"$summary"
  {
    echo "## $name"
    echo
    echo "The recipe's network, seed $median_seed (the median of ${seeds}: $(printf '%s ' "${a_net[@]}" | sed 's/ $//')); independent check of each:" \
         "$(printf '%s ' "${a_check[@]}" | sed 's/ $//')."
    echo
    echo '```'
    sed -n '/^+ /p' "$dir/recipe$median_seed.txt"
    echo
    cat "$report"
    echo '```'
    echo
    echo "![ROC curves, $name](quality/$name-roc.png)"
    echo
  } >>"$details"
  echo "   before $(median "${b_net[@]}"), after $median_auc, trees $trees" >&2
done

total=$(($(date +%s) - started))
logs_done=$(($(wc -l <"$summary") / 2))
# Counts over the after rows: columns 5 network, 8 trees, 9 logistic regression, 10 rule.
count() { awk -F ' [|] ' '$4 == "after" { if ('"$1"') n++ } END { print n + 0 }' "$summary"; }
{
  cat <<EOF2
# Is the network any good? Measured on the real logs

Made by \`bash scripts/quality.sh\` (seeds: $seeds) on $(date -u +%Y-%m-%d), $(nproc) cores
($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')); the whole script took
$((total / 60)) min $((total % 60)) s. Every run is seeded (\`tallis -s\`, the \`Seed\` key), so
rerunning the script gives the same figures.

- **before**: the earlier end-to-end recipe: \`tallis -i$before_keys -os -r60:20:20 -p0.5 -sSEED\`,
  a network of \`<inputs> 10 1\`, \`BP\` with learning rate 0.02, strip length 10 and 500 epochs
  (\`Seed: SEED\`). Every seed deletes other completed jobs, so each seed has its own training
  data file and its own baselines; the table shows the median of each column.
- **after**: \`scripts/train-recipe.sh LOG DIR SEED\`, the README's recipe (history and
  log-scaled attributes instead of the one-hot user and raw times, every finished job kept,
  shuffled on-line steps on the cross entropy with a positive weight, the weights of the best
  validation ROC AUC; the commands it ran are shown under each log below). Its training data
  file is the same for every seed, and so are its baselines.

Every figure is the ROC AUC on the test samples (the last 20 % of the log, never rebalanced)
by \`ombra-evaluate NET train.dat\`; the network's is the median over the seeds 1 to $seeds, all
of them listed. The baselines are trained on the same training samples and stopped on the same
validation samples as the network; no setting of the recipe was chosen per log or on the test
samples (see "How the recipe was chosen" below). "Check" is the median of the after networks'
ROC AUC computed independently: the raw test rows of the training data file go through
\`ombra NET\`'s query loop and awk ranks the printed answers (six significant digits, hence
small differences). "Recipe (s)" is the median wall-clock time of one \`train-recipe.sh\` run
(\`tallis\` and \`ombra\`), "Total (s)" the time of all that row's runs and evaluations. Load
average when the script ended: $(cut -d' ' -f1-3 /proc/loadavg); other work shares the machine.

After: the network's median ROC AUC is at least the gradient-boosted trees' minus 0.01 on
$(count '$5 + 0 >= $8 - 0.01') of $logs_done logs and at least the trees' on $(count '$5 + 0 >= $8 + 0');
at least logistic regression's on $(count '$5 + 0 >= $9 + 0') and at least the rule's
("previous job of the same user and application failed") on $(count '$5 + 0 >= $10 + 0').

## ROC AUC on the test samples

| Log | Test samples | Failed or cancelled | Recipe | Network | Network PR AUC | Network, seeds 1 to $seeds | Gradient-boosted trees | Logistic regression | Rule: last user+app failed | Check | Recipe (s) | Total (s) |
|---|---|---|---|---|---|---|---|---|---|---|---|---|
$(cat "$summary")

Each log's full report for the after recipe's median seed follows: the commands the recipe
ran, every figure of every model, the network's counts at 0.5 and at its best validation
threshold, the XGBoost settings and the permutation importance.
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
mv docs/quality.md.new docs/quality.md
echo "docs/quality.md written ($((total / 60)) min $((total % 60)) s)" >&2
