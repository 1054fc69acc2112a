#!/usr/bin/env bash
# The recommended recipe from a workload log to a trained network, as the README describes it.
#
#   scripts/train-recipe.sh [--as-of submit|start|log] LOG DIR [SEED]
#
# --as-of (default submit): the moment the network is asked about a job, and so what its
# attributes may know: what is known when the job is submitted (the setting an operator can
# deploy), when it starts (its wait known too), or log order (every earlier job's outcome, ended
# or not: the earlier recipe, whose figures no one can have at the moment of decision).
# Writes DIR/train.dat (tallis) and DIR/net.bin (ombra BP), with DIR/net.cfg and DIR/bp.txt
# beside them and the programs' output in DIR/tallis.txt and DIR/ombra.txt; prints every
# command it runs. SEED (0 to 4294967295, default 1) seeds both programs, so the same
# arguments give the same files. Then DIR/net.bin.card, the network's input card with the
# calibration of its output fitted on the validation samples (ombra-evaluate --write-card,
# its report in DIR/evaluate.txt): what ombra-score needs. Installed as ombra-train-recipe, it
# runs the programs beside it; in a checkout, those of build/ (bash scripts/build.sh; BUILD_DIR
# names another build folder). Judge the network with: ombra-evaluate DIR/net.bin DIR/train.dat
set -euo pipefail
export LC_ALL=C

name="$(basename "$0")"
usage() {
  sed -n '4,17p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
as_of=submit
case "${1:-}" in
  --as-of)
    [ $# -ge 2 ] || usage
    as_of="$2"
    shift 2
    ;;
  --as-of=*)
    as_of="${1#--as-of=}"
    shift
    ;;
esac
case "$as_of" in
  submit | start | log) ;;
  *) echo "$name: --as-of must be submit, start or log: $as_of" >&2; exit 2 ;;
esac
if [ $# -lt 2 ] || [ $# -gt 3 ]; then usage; fi
log="$1"
dir="$2"
seed="${3:-1}"
case "$seed" in '' | *[!0-9]*) echo "$name: SEED must be a whole number" >&2; exit 2 ;; esac
# Installed, the programs lie beside this script (links followed); in a checkout, in build/.
here="$(cd "$(dirname "$(readlink -f "$0")")" && pwd)"
if [ -z "${BUILD_DIR:-}" ] && [ -x "$here/tallis" ] && [ -x "$here/ombra" ]; then
  tallis="$here/tallis"
  ombra="$here/ombra"
  evaluate="$here/ombra-evaluate"
  hint="reinstall the programs (cmake --install)"
else
  root="$(cd "$here/.." && pwd)"
  [ "$root" = "$PWD" ] && root=.  # the commands read as the README shows them
  build="${BUILD_DIR:-$root/build}"
  tallis="$build/tallis"
  ombra="$build/ombra"
  evaluate="$build/ombra-evaluate"
  hint="run bash scripts/build.sh"
fi
for program in "$tallis" "$ombra" "$evaluate"; do
  [ -x "$program" ] || { echo "$name: $program is missing: $hint" >&2; exit 2; }
done
[ -f "$log" ] || { echo "$name: no log $log" >&2; exit 2; }
mkdir -p "$dir"

# The recipe (the README says why): the failure history of the user and the application and
# log-scaled times instead of one-hot users, every finished job kept (-p0); 50 hidden neurons
# trained with shuffled on-line steps on the cross entropy, failed and cancelled jobs weighing
# three times, the weights of the best validation ROC AUC kept. The keys depend on the
# setting: a job's wait is known from its start on, and what is under way (queued and running
# jobs, the time since the latest outcome) exists only at a moment of decision.
history=lsu,lsa,lsua,lc,loglrt,logea,logec,fu,fa,fua,lognu,logna,lognua,ru,ra,rua
history=$history,hourSin,hourCos,runu,runua,lsu2,lsua2
case "$as_of" in
  log) keys=logwT,logrCPU,logrT,logrM,$history ;;
  submit) keys=logrCPU,logrT,logrM,$history,logeou,logeoua ;;
  start) keys=logwT,logrCPU,logrT,logrM,$history,logeou,logeoua ;;
esac
hidden=50
parameters="Learning rate: 0.03
Iterations: 60
Strip length: 1
Shuffle: 1
Cross entropy: 1
Positive weight: 3
Select by AUC: 1
Seed: $seed"

# run OUTPUT COMMAND...: prints the command, runs it with its standard output in OUTPUT.
run() {
  local output="$1"
  shift
  echo "+ $* > $output"
  "$@" >"$output"
}

run "$dir/tallis.txt" "$tallis" "-i$keys" -os -r60:20:20 -p0 "-s$seed" "--as-of=$as_of" "$log" "$dir/train.dat"
read -r inputs _ < <(sed -n 2p "$dir/train.dat")
printf '%s %s 1\n' "$inputs" "$hidden" >"$dir/net.cfg"
printf '%s\n' "$parameters" >"$dir/bp.txt"
echo "+ $dir/net.cfg: $(cat "$dir/net.cfg")"
echo "+ $dir/bp.txt: $(paste -sd';' "$dir/bp.txt" | sed 's/;/; /g')"
run "$dir/ombra.txt" "$ombra" BP "$dir/net.cfg" "$dir/train.dat" "$dir/bp.txt" "$dir/net.bin" </dev/null
grep -E '^(training mse|Test set)' "$dir/ombra.txt" | tail -n 3
# The network's card: the training data file's card and the calibration of its output, for
# ombra-score. An earlier card beside the network belongs to the earlier network.
rm -f "$dir/net.bin.card"
run "$dir/evaluate.txt" "$evaluate" --no-baselines --no-importance --write-card "$dir/net.bin.card" \
  "$dir/net.bin" "$dir/train.dat"
grep -E '^network, calibrated: ' "$dir/evaluate.txt" | sed 's/^network, calibrated: /+ /'
echo "Written: $dir/train.dat $dir/net.bin $dir/net.bin.card (attributes as of: $as_of)"
