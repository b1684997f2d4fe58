#!/usr/bin/env bash
# Times cmeasure against `wc -l` on a large corpus of real C source: every
# header under /usr/include, concatenated in sorted path order. First the
# start (`--json /dev/null` and the menu on /dev/null, in milliseconds per
# run, and the peak memory at start), beside BASELINE when it is given.
# Then it prints the medians of RUNS runs (default 5), the ratios to `wc -l`,
# the program's peak resident memory; the command line on the tree
# /usr/include (by C's rules, the default, and by the menu's, --histogram
# and --top=20 beside --json, and the corpus
# as one file under both, by C's rules also with -j1, which does not scan it
# in two halves, and with --symbols=code beside the default), with its default workers and with -j 2, from a warm cache
# and, where the caches can be dropped (as root), from a cold one; a tree of
# 1 000 000 one-line files, built once under
# ${XDG_CACHE_HOME:-$HOME/.cache}/cmeasure-bench, for peak memory, time to the
# first row and wall time; mode 2 and the tree again for
# each instruction set; then micro-benchmarks of the line counters and the
# file scan. PROGRAM names another build of the program to time instead of
# this tree's; BASELINE names one to time beside it on the large tree, whose
# --json output must then be the same bytes as this one's with --rules=menu.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-5}
build=build-bench

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMEASURE_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j2 >/dev/null
# Configure leaves the micro-benchmarks out without Google Benchmark.
[ -x "$build/bench/counters_bench" ] ||
    { echo "bench/run.sh: Google Benchmark is missing; install libbenchmark-dev" >&2; exit 1; }
program=${PROGRAM:-$PWD/$build/cmeasure}
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

# The start: milliseconds per run, the median of $runs rounds of 50 runs.
perRun() {
    for ((run = 0; run < runs; run++)); do
        start=$(date +%s%N)
        for ((k = 0; k < 50; k++)); do "$@" >/dev/null; done
        echo $(($(date +%s%N) - start))
    done | sort -n | awk '{t[NR] = $1} END {printf "%.2f", t[int((NR + 1) / 2)] / 50 / 1e6}'
}
startJson() { "$1" --json /dev/null; }
startMenu() { printf '2\n/dev/null\n' | "$1"; }
startPeak() { /usr/bin/time -f %M -o "$build/peak" "$1" --json /dev/null >/dev/null && cat "$build/peak"; }
for tool in "$program" ${BASELINE:+"$BASELINE"}; do
    printf '%-40s %6s ms --json /dev/null  %6s ms menu on /dev/null  %6s KiB peak at start\n' "start, $tool" \
        "$(perRun startJson "$tool")" "$(perRun startMenu "$tool")" "$(startPeak "$tool")"
done
printf '%-40s %6s ms\n' "start, wc -l /dev/null" "$(perRun wc -l /dev/null)"

echo "corpus: $(wc -c <"$corpus") bytes, $(wc -l <"$corpus") lines; $runs runs each; load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "report for the corpus (mode 2): $(fileToConsole "$corpus" | tail -n 2 | tr '\n' ' ')"
wc=$(median lineCount "$corpus")
mode2=$(median fileToConsole "$corpus")
mode4=$(median typedToConsole "$corpus")
printf '%-28s %8s s\n' "wc -l" "$wc"
printf '%-28s %8s s  %6.1f x wc -l (goal 3)\n' "mode 2 (file in)" "$mode2" "$(ratio "$mode2" "$wc")"
printf '%-28s %8s s  %6.1f x wc -l\n' "mode 4 (typed lines, piped)" "$mode4" "$(ratio "$mode4" "$wc")"
printf 'peak resident memory: %s KiB on the corpus, %s KiB on an empty file\n' "$(peak "$corpus")" "$(peak "$empty")"

# The command line on the whole tree, against the standard tools merely
# reading the same files.
treeDefault() { "$program" --json /usr/include; }
treeOneJob() { "$program" --json -j 1 /usr/include; }
treeTwoJobs() { "$program" --json -j 2 /usr/include; }
# The gate: every line over 80 symbols reported; it exits with 1 when there
# is one, which is what is timed.
treeGate() { "$program" --max-symbols=80 /usr/include || [ $? -eq 1 ]; }
readTree() { find /usr/include -type f -name '*.[ch]' -print0 | xargs -0 cat | wc -l; }
read=$(median readTree)
tree=$(median treeDefault)
tree1=$(median treeOneJob)
printf '%-28s %8s s\n' "find | xargs cat | wc -l" "$read"
printf '%-28s %8s s  %6.2f x reading\n' "tree, default workers" "$tree" "$(ratio "$tree" "$read")"
printf '%-28s %8s s  %6.2f x reading\n' "tree, -j 1" "$tree1" "$(ratio "$tree1" "$read")"
# C's rules, the default, beside the menu's: on the tree, and on the corpus
# as one file, where the scan is all the work.
treeMenu() { "$program" --rules=menu --json /usr/include; }
corpusC() { "$program" --rules=c --json "$corpus"; }
corpusMenu() { "$program" --rules=menu --json "$corpus"; }
# One thread: the file is not scanned in two halves.
corpusCAlone() { "$program" -j1 --rules=c --json "$corpus"; }
treeM=$(median treeMenu)
printf '%-28s %8s s\n' "tree, --rules=menu" "$treeM"
printf '%-28s %8s s  %6.2f x --rules=menu (goal 1.25)\n' "tree, --rules=c" "$tree" "$(ratio "$tree" "$treeM")"
scanC=$(median corpusC)
scanMenu=$(median corpusMenu)
printf '%-28s %8s s\n' "corpus file, --rules=menu" "$scanMenu"
printf '%-28s %8s s  %6.2f x --rules=menu (goal 1.5)\n' "corpus file, --rules=c" "$scanC" "$(ratio "$scanC" "$scanMenu")"
printf '%-28s %8s s  %6.1f x wc -l (goal 3)\n' "corpus file, --rules=c" "$scanC" "$(ratio "$scanC" "$wc")"
scanCAlone=$(median corpusCAlone)
printf '%-28s %8s s  %6.1f x wc -l\n' "corpus file, -j1 --rules=c" "$scanCAlone" "$(ratio "$scanCAlone" "$wc")"
# The symbols of code alone: the lexer marks what a comment or a literal
# holds on each of its paths, at a cost the figures of all symbols must not pay.
corpusCode() { "$program" --symbols=code --json "$corpus"; }
scanCode=$(median corpusCode)
printf '%-28s %8s s  %6.2f x --symbols=all (goal 1.1)\n' "corpus file, --symbols=code" "$scanCode" "$(ratio "$scanCode" "$scanC")"
if [ -n "${BASELINE:-}" ]; then
    baselineTree() { "$BASELINE" --json /usr/include; }
    treeBase=$(median baselineTree)
    printf '%-28s %8s s  %6.2f x this build\n' "tree, default workers, baseline" "$treeBase" "$(ratio "$treeBase" "$tree")"
fi
gate=$(median treeGate)
printf '%-28s %8s s  %6.2f x --json\n' "tree, --max-symbols=80" "$gate" "$(ratio "$gate" "$tree")"
/usr/bin/time -f %M -o "$build/peak" "$program" --json /usr/include >/dev/null
printf 'peak resident memory on the tree: %s KiB\n' "$(cat "$build/peak")"
# Choosing a limit: the same walk and scan as the gate at limit 0, every
# line tallied (--histogram) or the 20 densest kept (--top) instead of the
# rows written.
treeHistogram() { "$program" --histogram /usr/include; }
treeTop() { "$program" --top=20 /usr/include; }
histogram=$(median treeHistogram)
top=$(median treeTop)
printf '%-28s %8s s  %6.2f x --json (goal 1.1)\n' "tree, --histogram" "$histogram" "$(ratio "$histogram" "$tree")"
printf '%-28s %8s s  %6.2f x --json (goal 1.1)\n' "tree, --top=20" "$top" "$(ratio "$top" "$tree")"
/usr/bin/time -f %M -o "$build/peak" "$program" --histogram /usr/include >/dev/null
printf 'peak resident memory on the tree, --histogram: %s KiB\n' "$(cat "$build/peak")"
# --sort holds every row (its path and figures) until the last file is
# measured: the table of the tree sorted by max_symbols beside the same
# table as it streams, and the memory the held rows take.
treeTable() { "$program" /usr/include; }
treeSorted() { "$program" --sort=max_symbols /usr/include; }
table=$(median treeTable)
sorted=$(median treeSorted)
printf '%-28s %8s s\n' "tree, table" "$table"
printf '%-28s %8s s  %6.2f x the table (goal 1.1)\n' "tree, --sort=max_symbols" "$sorted" "$(ratio "$sorted" "$table")"
/usr/bin/time -f %M -o "$build/peak" "$program" --sort=max_symbols /usr/include >/dev/null
printf 'peak resident memory on the tree, sorted: %s KiB\n' "$(cat "$build/peak")"

# The default number of workers (4 per processor, at least 8) against -j 2,
# from a warm cache and from a cold one: a read that waits for the disk
# holds a worker, not a processor. Dropping the caches needs root.
seconds() { start=$(date +%s%N); "$@" >/dev/null; awk -v t=$(($(date +%s%N) - start)) 'BEGIN {printf "%.3f", t / 1e9}'; }
dropCaches() { sync && echo 3 2>/dev/null >/proc/sys/vm/drop_caches; }
printf '%-28s %8s s (warm)  %8s s (-j 2, warm)\n' "tree, default workers" "$tree" "$(median treeTwoJobs)"
if dropCaches; then
    cold=$(seconds treeDefault)
    dropCaches
    printf '%-28s %8s s (cold)  %8s s (-j 2, cold)\n' "tree, default workers" "$cold" "$(seconds treeTwoJobs)"
else
    echo "tree, cold: skipped (the caches cannot be dropped here)"
fi

# A tree of 1 000 000 one-line files, 1 000 directories of 1 000, made once
# (a few minutes and 4 GB on ext4): peak memory, the time to the first row
# and the wall time of one run after a warm-up, for --json and the table.
cache=${XDG_CACHE_HOME:-$HOME/.cache}/cmeasure-bench
large=$cache/tree
if [ ! -e "$cache/tree.done" ]; then
    echo "making $large ..."
    rm -rf "$large" && mkdir -p "$large"
    awk -v root="$large" 'BEGIN {
        for (d = 0; d < 1000; d++) {
            dir = sprintf("%s/d%03d", root, d); system("mkdir " dir)
            for (f = 0; f < 1000; f++) { name = sprintf("%s/f%03d.c", dir, f); print "int x;" > name; close(name) }
        } }'
    touch "$cache/tree.done"
fi
firstRow() { start=$(date +%s%N); "$@" | { head -c 1 >/dev/null; awk -v t=$(($(date +%s%N) - start)) 'BEGIN {printf "%.3f", t / 1e9}'; cat >/dev/null; }; }
onLargeTree() {
    local name=$1 tool=$2 mode=$3
    "$tool" $mode "$large" >/dev/null
    /usr/bin/time -f %M -o "$build/peak" "$tool" $mode "$large" >/dev/null
    printf '%-22s %-8s %8s KiB peak  %8s s to the first row  %8s s wall\n' "large tree, $name" "${mode:-table}" \
        "$(cat "$build/peak")" "$(firstRow "$tool" $mode "$large")" "$(seconds "$tool" $mode "$large")"
}
for mode in --json ""; do
    onLargeTree program "$program" "$mode"
    [ -z "${BASELINE:-}" ] || onLargeTree baseline "$BASELINE" "$mode"
done
if [ -n "${BASELINE:-}" ]; then
    for tree in /usr/include "$large"; do
        if cmp -s <("$program" --rules=menu --json "$tree") <("$BASELINE" --json "$tree"); then
            echo "--json on $tree: the same bytes as the baseline"
        else
            echo "--json on $tree: DIFFERS from the baseline"
        fi
    done
fi

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

# A work tree as a project has it: 36 modules of sources in a few
# directories each, every module with its own .gitignore, its build output
# and scratch files ignored; about 4 700 files in 300 directories, of which
# a quarter of the sources are ignored. The walk that follows git's rules against the one that
# consults none.
worktree=$build/worktree
if [ ! -d "$worktree/.git" ]; then
    rm -rf "$worktree"
    mkdir -p "$worktree"
    git -C "$worktree" init -q
    printf 'build/\n*.o\n/out/\n' >"$worktree/.gitignore"
    source=$(head -c 3000 "$corpus")
    for m in $(seq -w 0 35); do
        module=$worktree/mod$m
        mkdir -p "$module"/{src,include,lib,test,build/gen,tmp}
        printf '*.gen.c\ntmp/\n!keep.gen.c\n' >"$module/.gitignore"
        for d in src include lib test; do
            for f in $(seq -w 0 24); do
                case $d/$f in */2?) name=n$f.txt ;; include/*) name=f$f.h ;; *) name=f$f.c ;; esac
                printf '%s\n' "$source" >"$module/$d/$name"
            done
        done
        for f in $(seq -w 0 19); do printf '%s\n' "$source" >"$module/build/gen/g$f.c"; done
        for f in 0 1 2 3 4; do
            printf '%s\n' "$source" >"$module/tmp/t$f.c"
            printf '%s\n' "$source" >"$module/src/s$f.gen.c"
        done
    done
fi
ignoring() { "$program" --json "$worktree"; }
notIgnoring() { "$program" --json --no-ignore "$worktree"; }
files=$(find "$worktree" -name '*.[ch]' -not -path '*/.git/*' | wc -l)
kept=$(ignoring | grep -c '"path"')
ignore=$(median ignoring)
noignore=$(median notIgnoring)
printf 'work tree: %s files, %s of them .c and .h, in %s directories; %s measured by git'"'"'s rules\n' \
    "$(find "$worktree" -type f -not -path '*/.git/*' | wc -l)" "$files" \
    "$(find "$worktree" -type d -not -path '*/.git*' | wc -l)" "$((kept - 1))"
printf '%-28s %8s s\n' "work tree, --no-ignore" "$noignore"
printf '%-28s %8s s  %6.2f x --no-ignore\n' "work tree, git's rules" "$ignore" "$(ratio "$ignore" "$noignore")"
dotInWorktree() { (cd "$worktree" && "$program" --json .); }
dot=$(median dotInWorktree)
printf '%-28s %8s s  %6.2f x --no-ignore\n' "work tree, --json ." "$dot" "$(ratio "$dot" "$noignore")"
if command -v rg >/dev/null; then
    ripgrep() { (cd "$worktree" && rg -c '' -g '*.[ch]'); }
    rgTime=$(median ripgrep)
    printf '%-28s %8s s  %6.2f x rg -c '"''"' -g '"'*.[ch]'"'\n' "work tree, --json ." "$dot" "$(ratio "$dot" "$rgTime")"
else
    echo "work tree against ripgrep: skipped (rg is missing)"
fi
# A small work tree, the first 1 000 headers of /usr/include in one commit,
# where git's start (two processes, about 20 ms of processor time) would be
# a large share of the run: with plain configuration files none starts.
# Run inside the tree, as a user runs it, side by side in interleaved
# rounds (with BASELINE's runs, when given).
small=$PWD/$build/smalltree
if [ ! -e "$small/.git" ]; then
    rm -rf "$small" && mkdir -p "$small"
    (cd /usr/include && find . -type f -name '*.h' -print0 | LC_ALL=C sort -z >"$small.list" &&
        head -z -n 1000 "$small.list" | xargs -0 cp --parents -t "$small")
    rm -f "$small.list"
    git -C "$small" init -q && git -C "$small" add -A &&
        git -C "$small" -c user.name=bench -c user.email=bench@example.invalid -c commit.gpgsign=false commit -qm tree
fi
smallRuns=()
for tool in "$program" ${BASELINE:+"$BASELINE"}; do
    smallRuns+=("$tool --json ." "$tool --json --no-ignore .")
done
! command -v rg >/dev/null || smallRuns+=("rg -c '' -g '*.[ch]'")
echo "small work tree, --json . (goal 1.15 x --no-ignore, no slower than rg; the ratios are to the first):"
(cd "$small" && python3 "$OLDPWD/bench/interleave.py" $((runs * 4)) "${smallRuns[@]}")

# The gate on that work tree, whole and with only the lines of a small last
# commit (three files, a line each): the diff must cost less than the
# measuring it spares, at most 1.1 times the whole gate.
if ! git -C "$worktree" rev-parse -q --verify HEAD~1 >/dev/null; then
    git() { command git -C "$worktree" -c user.name=bench -c user.email=bench@example.invalid -c commit.gpgsign=false "$@"; }
    git add -A && git commit -qm 'the tree'
    for f in mod00/src/f00.c mod17/lib/f03.c mod35/include/f11.h; do
        printf 'int a_line_of_the_last_commit_that_is_long_enough = 1;\n' >>"$worktree/$f"
    done
    git commit -qam 'a small change'
    unset -f git
fi
# Side by side in interleaved rounds (with BASELINE's runs, when given),
# as the two differ by a few milliseconds that a drifting machine hides.
gates=()
for tool in "$program" ${BASELINE:+"$BASELINE"}; do
    gates+=("$tool --max-symbols=80 $worktree" "$tool --max-symbols=80 --new-from-rev=HEAD~1 $worktree")
done
echo "work tree, the whole gate and --new-from-rev=HEAD~1 (the ratios are to the first, this build's whole gate):"
python3 bench/interleave.py --status=1 $((runs * 4)) "${gates[@]}"

# The gate and the tallies against the figures of the same walk, under each
# rules, side by side in interleaved rounds: each within 1.1 times its
# rules' --json.
for rules in c menu; do
    tallies=("$program --rules=$rules --json /usr/include" "$program --rules=$rules --max-symbols=120 /usr/include"
        "$program --rules=$rules --histogram /usr/include" "$program --rules=$rules --top=20 /usr/include")
    echo "tree, --rules=$rules: the gate, --histogram and --top=20 (goal 1.1 x the first, --json):"
    python3 bench/interleave.py --status=1 $((runs * 4)) "${tallies[@]}"
done

"$build/bench/counters_bench"
