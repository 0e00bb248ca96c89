#!/usr/bin/env bash
# Compares two builds' frame_bench: runs them by turns, A then B, ROUNDS times, each for a short
# while on the same core, and prints for each setting the median of the B / A ratios of the
# rounds and their quartiles. On a shared or virtual machine the speed a core gets can change
# by two times within a minute: runs minutes apart cannot tell a change of a few per cent, a
# ratio taken within a second can. A ratio below 1 means B is faster.
#   bench/compare_frames.sh A_FRAME_BENCH B_FRAME_BENCH [ROUNDS] [FILTER] [CORE]
# FILTER is a --benchmark_filter (the path MORPH_RASTER names, else avx2, on one thread, unless
# given); CORE the cores both run on, as taskset names them (0 unless given; 0,1 for threads:0
# on two cores).
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 A_FRAME_BENCH B_FRAME_BENCH [ROUNDS] [FILTER] [CORE]" >&2
  exit 2
fi
a=$1
b=$2
rounds=${3:-100}
filter=${4:-${MORPH_RASTER:-avx2}/threads:1}
core=${5:-0}
for binary in "$a" "$b"; do
  [ -x "$binary" ] || { echo "$0: $binary is not a program" >&2; exit 2; }
done
results=$(mktemp)
trap 'rm -f "$results"' EXIT

run() {  # LABEL BINARY: one line a benchmark, "LABEL round name milliseconds"
  taskset -c "$core" "$2" --benchmark_filter="$filter" --benchmark_min_time=0.15 2>/dev/null |
    awk -v label="$1" -v round="$round" '$3 == "ms" { print label, round, $1, $2 }'
}
for round in $(seq "$rounds"); do
  run A "$a" >>"$results"
  run B "$b" >>"$results"
done

# Pairs each round's B with its A, then sorts the ratios by benchmark.
awk '$1 == "A" { a[$2 " " $3] = $4 }
     $1 == "B" && (($2 " " $3) in a) { print $3, $4 / a[$2 " " $3], a[$2 " " $3], $4 }' \
  "$results" | sort -k1,1 -k2,2g |
  awk '{ n[$1]++; ratio[$1, n[$1]] = $2; ta[$1] += $3; tb[$1] += $4 }
       END {
         for (name in n) {
           k = n[name]
           printf "%s: B / A median %.3f (quartiles %.3f to %.3f), mean A %.3f ms, B %.3f ms, %d rounds\n",
             name, ratio[name, int((k + 1) / 2)], ratio[name, int((k + 3) / 4)],
             ratio[name, int((3 * k + 3) / 4)], ta[name] / k, tb[name] / k, k
         }
       }' | sort
