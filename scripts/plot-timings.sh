#!/usr/bin/env bash
# Turns ombra-timings result files into PNG charts with gnuplot (Debian package gnuplot-nox).
#
#   scripts/plot-timings.sh [--linear] [--title TEXT] OUTPUT.png FILE...
#
# The kind of chart follows the header line of the first file:
#   "layers;time (s)", "neurons in layer;time (s)", "samples; time (s)": seconds per
#     iteration against hidden layers, neurons per hidden layer or training samples, one line
#     per result file; the time axis is logarithmic unless --linear is given, because the
#     trainers lie orders of magnitude apart. A line is named after its file: the name
#     without its directory, without ".csv" and without the result prefix up to the first
#     "_" ("neurons_PSO CPU.csv" gives "PSO CPU").
#   "is Positive;output" (a lift-chart file): the cumulative-gains chart of each file: test
#     samples sorted by falling output, the share of positive targets (> 0.5) found against
#     the share of samples taken, with the random and the perfect choice for reference.
# Every file must have the same header. Exit status 2 for bad arguments, 1 when gnuplot is
# missing or fails.
set -euo pipefail
export LC_ALL=C

usage() {
  sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

log_scale=1
title=""
while [ $# -gt 0 ]; do
  case "$1" in
    --linear) log_scale=0; shift ;;
    --title) [ $# -ge 2 ] || usage; title="$2"; shift 2 ;;
    -h|--help) usage ;;
    --) shift; break ;;
    -*) echo "plot-timings.sh: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
[ $# -ge 2 ] || usage
output="$1"
shift
case "$output" in
  *.png) ;;
  *) echo "plot-timings.sh: the output must be a .png file: $output" >&2; exit 2 ;;
esac
for file in "$@"; do
  if [ ! -r "$file" ]; then echo "plot-timings.sh: cannot read $file" >&2; exit 2; fi
  case "$file" in
    *\'*) echo "plot-timings.sh: file names with a single quote are not supported: $file" >&2
          exit 2 ;;
  esac
done
command -v gnuplot >/dev/null || {
  echo "plot-timings.sh: gnuplot not found (apt-get install gnuplot-nox)" >&2
  exit 1
}

header="$(head -n 1 "$1" | tr -d '\r')"
for file in "$@"; do
  if [ "$(head -n 1 "$file" | tr -d '\r')" != "$header" ]; then
    echo "plot-timings.sh: $file does not start with \"$header\" like $1" >&2
    exit 2
  fi
done

# pngcairo draws smoother lines; the libgd png terminal serves where cairo is missing.
if gnuplot -e 'set terminal pngcairo' >/dev/null 2>&1; then
  terminal="pngcairo size 900,560 noenhanced font 'sans,10'"
else
  terminal="png size 900,560 noenhanced"
fi

# A file name as a gnuplot string.
quoted() { printf "'%s'" "$1"; }

line_name() {
  local name
  name="$(basename "$1")"
  name="${name%.csv}"
  case "$name" in *_*) name="${name#*_}" ;; esac
  printf '%s' "$name"
}

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
script="$scratch/plot.gp"

case "$header" in
  "layers;time (s)"|"neurons in layer;time (s)"|"samples; time (s)")
    case "$header" in
      layers*) xlabel="hidden layers"; default_title="Time per iteration against hidden layers" ;;
      neurons*) xlabel="neurons per hidden layer"
                default_title="Time per iteration against neurons per hidden layer" ;;
      *) xlabel="training samples"; default_title="Time per iteration against training samples" ;;
    esac
    {
      echo "set terminal $terminal"
      echo "set output $(quoted "$output")"
      echo "set datafile separator ';'"
      echo "set title $(quoted "${title:-$default_title}")"
      echo "set xlabel '$xlabel'"
      echo "set ylabel 'seconds per iteration'"
      echo "set grid"
      echo "set key outside right top"
      [ "$log_scale" = 1 ] && echo "set logscale y"
      echo "set format y '%g'"
      plots=()
      for file in "$@"; do
        plots+=("$(quoted "$file") skip 1 using 1:2 with linespoints lw 2 title $(quoted "$(line_name "$file")")")
      done
      (IFS=','; echo "plot ${plots[*]}")
    } > "$script"
    ;;
  "is Positive;output")
    plots=()
    index=0
    for file in "$@"; do
      gains="$scratch/gains$index.dat"
      # Sorted by falling output; each line: share of samples taken, share of positives found.
      tail -n +2 "$file" | tr -d '\r' | sort -t ';' -k2,2gr | awk -F ';' '
        { positive[NR] = ($1 + 0 > 0.5); total += positive[NR] }
        END {
          if (NR == 0 || total == 0) exit 3
          print 0, 0
          for (i = 1; i <= NR; i++) { found += positive[i]; print i / NR, found / total }
        }' > "$gains" || {
        echo "plot-timings.sh: $file has no test sample with a positive target" >&2
        exit 2
      }
      plots+=("$(quoted "$gains") using 1:2 with lines lw 2 title $(quoted "$(basename "$file")")")
      index=$((index + 1))
    done
    # The perfect choice takes every positive first: its share of positives in the first file.
    share="$(tail -n +2 "$1" | awk -F ';' '{ n++; p += ($1 + 0 > 0.5) } END { printf "%.6f", p / n }')"
    {
      echo "set terminal $terminal"
      echo "set output $(quoted "$output")"
      echo "set title $(quoted "${title:-Cumulative gains on the test samples}")"
      echo "set xlabel 'share of test samples taken, highest output first'"
      echo "set ylabel 'share of failed or cancelled jobs found'"
      echo "set xrange [0:1]"
      echo "set yrange [0:1.02]"
      echo "set grid"
      echo "set key right bottom"
      plots+=("x with lines dt 2 lc rgb 'gray40' title 'random choice'")
      plots+=("(x < $share ? x / $share : 1) with lines dt 3 lc rgb 'black' title 'perfect choice'")
      (IFS=','; echo "plot ${plots[*]}")
    } > "$script"
    ;;
  *)
    echo "plot-timings.sh: $1 is neither a timing result file nor a lift-chart file" \
         "(header \"$header\")" >&2
    exit 2
    ;;
esac

gnuplot "$script" || { echo "plot-timings.sh: gnuplot failed" >&2; exit 1; }
echo "Written: $output"
