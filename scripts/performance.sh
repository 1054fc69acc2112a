#!/usr/bin/env bash
# Measures how the training time of the five trainers that run without a GPU (BP, BP_CPU, PSO,
# PSO_private_CPU, PSO_local_CPU) grows with neurons per hidden layer, hidden layers and
# training samples, and draws the charts of docs/performance.md.
#
#   scripts/performance.sh [BUILD_DIR]      (default build/; a few minutes on 2 cores)
#
# Builds ombra-timings, tallis and swfgen if needed, generates a workload log with swfgen
# (10000 jobs, fixed seed), turns it into the experiments' training data files with
# "ombra-timings make-data" (tallis), runs the three experiments for each trainer in
# BUILD_DIR/performance/, trains one BP network for a lift chart, then writes the result files
# to docs/timings/, the charts to docs/timings-*.png and the tables to docs/timings/tables.md.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${1:-build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

bash scripts/install-deps.sh
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target ombra-timings tallis swfgen >/dev/null

work="$build/performance"
bash "$root/scripts/timing-workspace.sh" "$build" "$work"
cd "$work"
timings="$build/ombra-timings"
data="samples_KTH-SP2-1996-2.1-cln.swf"
network="nn_config_sample_size_timings.txt"   # 9 10 1
head -n 1 "$data" | awk '{ print "Training data: " $1 " training, " $2 " validation, " $3 " test samples" }'

# Runs one experiment command repeats times and keeps, for every count, the smallest time.
best_of() { bash "$root/scripts/best-of.sh" "$@"; }

# type:iterations:repeats. Iterations are a multiple of the strip length (10), so that every
# measurement holds the same share of validation checks; the OpenCL trainers get fewer
# iterations and repeats because each of their iterations takes longer.
trainers=(BP:50:3 PSO:20:3 PSO_local_CPU:20:3 PSO_private_CPU:10:3 BP_CPU:10:2)
for entry in "${trainers[@]}"; do
  IFS=: read -r type iterations repeats <<<"$entry"
  case "$type" in BP*) params=BP_params.txt ;; *) params=PSO_params_samples_timings.txt ;; esac
  echo "== $type: $iterations iterations per measurement, best of $repeats runs ($(date -u +%T))"
  best_of "$repeats" "neurons_$type.csv" "$timings" neurons --type "$type" --first 5 --step 5 \
    --last 40 --hidden-layers 1 --iterations "$iterations" --data "$data" --params "$params" \
    --samples 1000
  best_of "$repeats" "layers_$type.csv" "$timings" layers --type "$type" --first 0 --step 1 \
    --last 5 --hidden-neurons 10 --iterations "$iterations" --data "$data" --params "$params" \
    --samples 1000
  best_of "$repeats" "samples_$type.csv" "$timings" samples --type "$type" --first 500 \
    --step 500 --last 4000 --iterations "$iterations" --config "$network" --data "$data" \
    --params "$params"
done
# BP_params.txt ends the training after 100 epochs.
"$timings" lift-chart --type BP --config "$network" --data "$data" --params BP_params.txt \
  --result lift_BP.csv | grep -E '^Test set'

mkdir -p "$root/docs/timings"
order=(BP PSO PSO_local_CPU PSO_private_CPU BP_CPU)
for kind in neurons layers samples; do
  files=()
  for type in "${order[@]}"; do files+=("${kind}_$type.csv"); done
  cp "${files[@]}" "$root/docs/timings/"
  bash "$root/scripts/plot-timings.sh" "$root/docs/timings-$kind.png" "${files[@]}"
done
cp lift_BP.csv "$root/docs/timings/"
bash "$root/scripts/plot-timings.sh" --title "Cumulative gains of BP (9 10 1, 100 epochs)" \
  "$root/docs/timings-gains.png" lift_BP.csv

# One table per experiment: a row per measured count, milliseconds per iteration per trainer.
{
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores:" \
       "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')."
  for kind in neurons layers samples; do
    echo
    bash "$root/scripts/timings-table.sh" "$kind" "${order[@]}"
  done
} > "$root/docs/timings/tables.md"
cat "$root/docs/timings/tables.md"
