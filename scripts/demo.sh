#!/usr/bin/env bash
# The demo: installs what is missing, builds the programs, runs the recommended recipe
# (scripts/train-recipe.sh: tallis, then ombra BP, both seeded with 1, so every run prints the
# same figures) on the bundled synthetic workload log, asks the saved network about two test
# jobs, and shows how good it is beside the baselines (ombra-evaluate). Everything lands in
# build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target ombra tallis ombra-evaluate >/dev/null

out=build/demo
echo "== The recommended recipe on data/demo/demo.swf (the commands, then the last figures)"
bash scripts/train-recipe.sh data/demo/demo.swf "$out" 1
echo

# The input values of the first failed or cancelled and the first completed test job, as
# tallis wrote them (ombra scales them itself). Line 1 holds the set sizes, line 2 the input
# and output sizes, then a range line per column, then the samples, test samples last.
queries=$(awk 'NR == 1 { skip = $1 + $2 }
  NR == 2 { n = $1; first = 2 + $1 + $2 + skip + 1 }
  first && NR >= first {
    kind = $(n + 1) > 0.5 ? 1 : 2
    if (!(kind in job)) {
      values = $1
      for (i = 2; i <= n; i++) values = values " " $i
      job[kind] = values
    }
    if ((1 in job) && (2 in job)) exit
  }
  END { print job[1]; print job[2] }' "$out/train.dat")
echo "== The saved network answers two queries (build/ombra $out/net.bin, the input values on"
echo "== standard input): a test job that failed or was cancelled, then one that completed"
printf '%s\n' "$queries" | build/ombra "$out/net.bin"
echo
echo "== Is it any good? The test samples, the network beside the baselines"
cd "$out"
../ombra-evaluate net.bin train.dat --charts demo 2>/dev/null
