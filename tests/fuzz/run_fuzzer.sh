#!/usr/bin/env bash
# Runs one fuzzing harness for CTest, or by hand for longer:
#   run_fuzzer.sh HARNESS SOURCE_DIR BINARY_DIR NAME MAX_LEN replay
#   run_fuzzer.sh HARNESS SOURCE_DIR BINARY_DIR NAME MAX_LEN fuzz SECONDS [libFuzzer flags]
# replay runs every input of SOURCE_DIR/regressions/NAME once; fuzz starts from a fresh copy
# of SOURCE_DIR/corpus/NAME (the regression inputs join as a second, read-only corpus) and
# stops after SECONDS. A crash, a sanitizer report, a leak, an input that takes more than
# 10 s, or more than 2 GiB of memory fails the run; the input is kept under
# BINARY_DIR/findings/NAME-*.
set -euo pipefail
harness=$1 source_dir=$2 binary_dir=$3 name=$4 max_len=$5 mode=$6
regressions=$source_dir/regressions/$name
limits=(-rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10 -max_len="$max_len")
mkdir -p "$binary_dir/findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

case $mode in
  replay)
    shopt -s nullglob
    inputs=("$regressions"/*)
    if [ ${#inputs[@]} -eq 0 ]; then
      echo "no regression inputs for $name"
      exit 0
    fi
    # stdout closed: the readers' progress lines are not what is tested here.
    exec "$harness" "${limits[@]}" -close_fd_mask=1 "${inputs[@]}"
    ;;
  fuzz)
    seconds=$7
    shift 7
    work=$binary_dir/work/$name
    rm -rf "$work"
    mkdir -p "$work"
    cp "$source_dir/corpus/$name"/* "$work"/
    corpora=("$work")
    [ -d "$regressions" ] && corpora+=("$regressions")
    # Both output streams closed: every refused input writes its message, and sanitizer
    # reports still come through libFuzzer's own copy of standard error.
    exec "$harness" "${limits[@]}" -max_total_time="$seconds" -close_fd_mask=3 \
      -print_final_stats=1 -artifact_prefix="$binary_dir/findings/$name-" "$@" "${corpora[@]}"
    ;;
  *)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
