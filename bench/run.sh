#!/usr/bin/env bash
# Times cmeasure against `wc -l` on a large corpus of real C source: every
# header under /usr/include, concatenated in sorted path order. Prints the
# medians of RUNS runs (default 5), the ratios to `wc -l`, the program's peak
# resident memory; the command line on the tree /usr/include; both again for
# each instruction set; then micro-benchmarks of the line counters and the
# file scan. PROGRAM names another build of the program to time instead of
# this tree's.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-5}
build=build-bench

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMEASURE_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j2 >/dev/null
# Configure leaves the micro-benchmarks out without Google Benchmark.
[ -x "$build/bench/counters_bench" ] ||
    { echo "bench/run.sh: Google Benchmark is missing; install libbenchmark-dev" >&2; exit 1; }
program=${PROGRAM:-$build/cmeasure}
corpus=$build/corpus.c
empty=$build/empty.c
if [ ! -s "$corpus" ]; then
    find /usr/include -type f -name '*.h' -print0 | LC_ALL=C sort -z | xargs -0 cat >"$corpus"
fi
: >"$empty"

fileToConsole() { printf '2\n%s\n' "$1" | "$program"; }
typedToConsole() { { printf '4\n'; cat "$1"; printf '\n/*end_of_program*/\n'; } | "$program"; }
lineCount() { wc -l <"$1"; }

# Median wall time in seconds of `$@`, run $runs times after one warm-up.
median() {
    "$@" >/dev/null
    for ((run = 0; run < runs; run++)); do
        start=$(date +%s%N)
        "$@" >/dev/null
        echo $(($(date +%s%N) - start))
    done | sort -n | awk '{t[NR] = $1} END {printf "%.3f", t[int((NR + 1) / 2)] / 1e9}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# Peak resident memory in KiB of the program scanning file $1.
peak() {
    printf '2\n%s\n' "$1" | /usr/bin/time -f %M -o "$build/peak" "$program" >/dev/null
    cat "$build/peak"
}

echo "corpus: $(wc -c <"$corpus") bytes, $(wc -l <"$corpus") lines; $runs runs each; load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "report for the corpus (mode 2): $(fileToConsole "$corpus" | tail -n 2 | tr '\n' ' ')"
wc=$(median lineCount "$corpus")
mode2=$(median fileToConsole "$corpus")
mode4=$(median typedToConsole "$corpus")
printf '%-28s %8s s\n' "wc -l" "$wc"
printf '%-28s %8s s  %6.1f x wc -l\n' "mode 2 (file in)" "$mode2" "$(ratio "$mode2" "$wc")"
printf '%-28s %8s s  %6.1f x wc -l\n' "mode 4 (typed lines, piped)" "$mode4" "$(ratio "$mode4" "$wc")"
printf 'peak resident memory: %s KiB on the corpus, %s KiB on an empty file\n' "$(peak "$corpus")" "$(peak "$empty")"

# The command line on the whole tree, against the standard tools merely
# reading the same files.
treeDefault() { "$program" --json /usr/include; }
treeOneJob() { "$program" --json -j 1 /usr/include; }
readTree() { find /usr/include -type f -name '*.[ch]' -print0 | xargs -0 cat | wc -l; }
read=$(median readTree)
tree=$(median treeDefault)
tree1=$(median treeOneJob)
printf '%-28s %8s s\n' "find | xargs cat | wc -l" "$read"
printf '%-28s %8s s  %6.2f x reading\n' "tree, $(nproc) workers" "$tree" "$(ratio "$tree" "$read")"
printf '%-28s %8s s  %6.2f x reading\n' "tree, -j 1" "$tree1" "$(ratio "$tree1" "$read")"
/usr/bin/time -f %M -o "$build/peak" "$program" --json /usr/include >/dev/null
printf 'peak resident memory on the tree: %s KiB\n' "$(cat "$build/peak")"

# Mode 2 and the tree for each instruction set the processor runs, named in
# CMEASURE_SIMD; the micro-benchmarks list those sets. A program that takes
# no CMEASURE_SIMD (one that accepts a name no set has) gives one line, with
# its own choice.
if CMEASURE_SIMD=none "$program" --version >/dev/null 2>&1; then
    sets=default
else
    sets=$("$build/bench/counters_bench" --benchmark_list_tests | awk -F/ '$1 == "scan" && !seen[$2]++ {print $2}')
fi
printf '%-12s %10s %10s\n' "set" "mode 2" "tree"
for set in $sets; do
    [ "$set" = default ] || export CMEASURE_SIMD=$set
    printf '%-12s %8s s %8s s\n' "$set" "$(median fileToConsole "$corpus")" "$(median treeDefault)"
done
unset CMEASURE_SIMD

"$build/bench/counters_bench"
