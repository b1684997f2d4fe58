#!/usr/bin/env bash
# Runs the examples of README.md, HACKING.md and the manual page as a reader
# would type them, in a small tree made here with the program first on PATH,
# and checks what each prints: against the output the document shows after
# it, or, where it shows none, against doc_examples.txt next to this script.
# An example that stops working or prints something else fails, and so does
# a new example without an expected result, or an expected result whose
# example is gone.
#
# An example is a command in a code block of README.md or HACKING.md (a "$ "
# line of a transcript, or any line of a block marked as sh, bash or shell)
# or a "$ " line of an .EX block of the manual page, that runs cmeasure and
# no other tool than those of RUNNABLE. One that needs more (cmake, apt-get, man) is listed as
# not run. A block that cannot be replayed, such as a typed menu session, is
# passed over when the line just before it says so:
#   README.md, HACKING.md: <!-- not run by tests/doc_examples_test.sh: REASON -->
#   manual page: .\" not run by tests/doc_examples_test.sh: REASON
#
# doc_examples.txt holds, for each example, "$ COMMAND" and the lines it
# prints (trailing spaces included); a "+ COMMAND" line among them runs that
# command after the example, in the same tree, and its output is expected
# in that place (to show a file the example wrote).
#
# Usage: doc_examples_test.sh SOURCE_DIR CMEASURE
set -euo pipefail

source_dir=$(cd "$1" && pwd)
cmeasure=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
manual=man/cmeasure.1.in
expected_file=$source_dir/tests/doc_examples.txt
RUNNABLE=" cmeasure build/cmeasure jq git printf echo cat head tail sort wc grep tr "
MARKER='not run by tests/doc_examples_test.sh: '

for tool in jq git; do
    command -v "$tool" >/dev/null || { echo "$tool is needed to run the documented examples" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# No user's git configuration (an excludes file, say) changes what an example prints.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
# Nor does the width or the bars the user's terminal asks for.
unset COLUMNS CMEASURE_BARS
mkdir -p "$HOME"

# The blocks of the documents, each opened by a line
# "\x1eFILE:LINE\x1fLANGUAGE\x1fREASON", where REASON is empty unless the block
# is not to be run.
blocks() {
    cd "$source_dir"
    awk -v marker="$MARKER" '
        FNR == 1 { open = 0; skip = "" }
        index($0, "<!-- " marker) { skip = substr($0, index($0, marker) + length(marker)); sub(/ *-->.*/, "", skip); next }
        /^[ \t]*```/ {
            if (open) open = 0
            else {
                open = 1; indent = match($0, /[^ \t]/) - 1; language = substr($0, indent + 4)
                printf "\036%s:%d\037%s\037%s\n", FILENAME, FNR, language, skip
            }
            skip = ""; next
        }
        open { print substr($0, indent + 1); next }
        { skip = "" }' README.md HACKING.md
    awk -v marker="$MARKER" '
        index($0, ".\\\" " marker) == 1 { skip = substr($0, length(marker) + 5); next }
        /^\.EX/ { open = 1; printf "\036%s:%d\037\037%s\n", FILENAME, FNR, skip; skip = ""; next }
        /^\.EE/ { open = 0; next }
        open {
            gsub(/\\f[BIPR]/, ""); gsub(/\\-/, "-"); gsub(/\\\(aq/, "\047"); gsub(/\\\(dq/, "\"")
            gsub(/\\&/, ""); gsub(/\\e/, "\\\\"); print; next
        }
        { skip = "" }' "$manual"
}

# The examples, one per line of $work/examples: "FILE:LINE\tCOMMAND", then
# the output the document shows, if any, in $work/shown/N.
count=0
add_example() { # index-in-block command shown-output
    count=$((count + 1))
    printf '%s:%d\t%s\n' "${origin%:*}" $((${origin##*:} + $1 + 1)) "$2" >>"$work/examples"
    [ -z "$3" ] || printf '%s' "$3" >"$work/shown/$count"
}

finish_block() {
    local line i
    [ -n "$origin" ] || return 0
    if [ -n "$skip" ]; then
        echo "not run ($skip): block at $origin"
    elif [[ ${lines[0]-} == '$ '* ]]; then
        local command="" shown="" at=0
        for i in "${!lines[@]}"; do
            line=${lines[i]}
            if [[ $line == '$ '* ]]; then
                [ -z "$command" ] || add_example "$at" "$command" "$shown"
                command=${line#'$ '} shown="" at=$i
            elif [ -n "$command" ]; then
                shown+=$line$'\n'
            fi
        done
        [ -z "$command" ] || add_example "$at" "$command" "$shown"
    elif [[ $language == @(sh|bash|shell) ]]; then
        local command="" at=0
        for i in "${!lines[@]}"; do
            [ -n "$command" ] || at=$i
            command+=${lines[i]}
            if [[ $command == *'\' ]]; then
                command=${command%'\'}
                continue
            fi
            [[ -z $command || $command == '#'* ]] || add_example "$at" "$command" ""
            command=""
        done
    fi
}

mkdir "$work/shown"
: >"$work/examples"
origin="" language="" skip="" lines=()
while IFS= read -r line; do
    if [[ $line == $'\036'* ]]; then
        finish_block
        IFS=$'\037' read -r origin language skip <<<"${line:1}"
        lines=()
    else
        lines+=("$line")
    fi
done < <(blocks)
finish_block

# The commands a line runs: the first word of each part between |, ;, &,
# parentheses and braces, once quoted text and a trailing comment are gone,
# past any VAR=value.
commands_of() {
    sed -e "s/'[^']*'//g" -e 's/"[^"]*"//g' -e 's/[[:space:]]#.*//' <<<"$1" | tr '|;&(){}' '\n' |
        awk '{ for (i = 1; i <= NF && $i ~ /^[A-Za-z_][A-Za-z0-9_]*=/; i++); if (i <= NF) print $i }'
}

# A command without its trailing comment: how doc_examples.txt names it.
key_of() {
    sed -E "s/[[:space:]]+#[^'\"]*\$//" <<<"$1"
}

# The expected results: entry[COMMAND] is N, and $work/expected/N holds
# what follows "$ COMMAND" in doc_examples.txt.
declare -A entry=() used=()
mkdir "$work/expected"
n=0
while IFS= read -r line; do
    if [[ $line == '$ '* ]]; then
        n=$((n + 1))
        entry[${line#'$ '}]=$n
        : >"$work/expected/$n"
    elif [ "$n" -gt 0 ]; then
        printf '%s\n' "$line" >>"$work/expected/$n"
    fi
done <"$expected_file"

# The tree every example runs in: sources at the top, in src/, lib/,
# include/ and vendor/, the fuzz seeds the README shows, a .cmeasure.toml, the program as
# build/cmeasure beside a source that CMake generated there, which the
# tree's .gitignore names, and a git history holding main.c and the fuzz
# seeds, with origin/main at its last commit.
tree=$work/tree
mkdir -p "$tree/src" "$tree/lib" "$tree/include" "$tree/fuzz" "$tree/build" "$work/bin"
cat >"$tree/main.c" <<'EOF'
#include <stdio.h>

/* Greets the world. */
int main(void)
{
    printf("hello, world\n");
    return 0;
}
EOF
cp "$tree/main.c" "$tree/src/main.c"
cat >"$tree/src/list.h" <<'EOF'
struct node { struct node *next; int value; };
int length(const struct node *list);
EOF
cat >"$tree/src/list.c" <<'EOF'
#include "list.h"

int length(const struct node *list)
{
    int count = 0;
    for (; list != 0; list = list->next)
        count++; // one more node
    return count;
}
EOF
echo 'int a = 1, b = 2;' >"$tree/a.c"
cp "$tree/src/list.c" "$tree/lib/list.c"
cp "$tree/src/list.h" "$tree/include/list.h"
printf 'template <typename T> T twice(T x) { return x + x; }\n' >"$tree/lib/twice.cpp"
cp "$tree/lib/twice.cpp" "$tree/src/twice.cpp"
cp -r "$source_dir/fuzz/corpus" "$tree/fuzz/corpus"
mkdir -p "$tree/vendor" "$tree/build/CMakeFiles"
printf 'int vendored(void) { return 0; }\n' >"$tree/vendor/lib.c"
printf 'build/\n' >"$tree/.gitignore"
# The project's settings, as a repository that adopted the gate keeps them.
printf 'max-symbols = 100\n' >"$tree/.cmeasure.toml"
printf '#if !defined(__cplusplus)\nchar const *info_compiler = "INFO:compiler[GNU]";\n#endif\n' \
    >"$tree/build/CMakeFiles/CMakeCCompilerId.c"
ln -s "$cmeasure" "$tree/build/cmeasure"
ln -s "$cmeasure" "$work/bin/cmeasure"
git -C "$tree" init -q
git -C "$tree" add main.c fuzz/corpus
git -C "$tree" -c user.name=cmeasure -c user.email=cmeasure@example.invalid -c commit.gpgsign=false \
    commit -qm 'main.c and the fuzz seeds'
# The branch a pull request is checked against, as a clone knows it.
git -C "$tree" update-ref refs/remotes/origin/main HEAD

# Runs one example in a fresh copy of the tree; its output, then that of its
# "+" commands, goes to $work/actual. Fails on a status other than 0 or on
# anything written to standard error.
run() { # command checks-file
    rm -rf "$work/run" && cp -a "$tree" "$work/run"
    local status=0
    (cd "$work/run" && PATH=$work/bin:$PATH bash -o pipefail -c "$1") </dev/null >"$work/actual" 2>"$work/errors" ||
        status=$?
    while IFS= read -r check; do
        (cd "$work/run" && bash -c "$check") </dev/null >>"$work/actual" 2>>"$work/errors" || status=$?
    done <"$2"
    if [ "$status" -ne 0 ] || [ -s "$work/errors" ]; then
        echo "status $status, standard error:" && cat "$work/errors"
        return 1
    fi
}

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

ran=0
k=0
while IFS=$'\t' read -r origin command; do
    k=$((k + 1))
    runs_program=false needs=""
    for word in $(commands_of "$command"); do
        [[ $word == cmeasure || $word == build/cmeasure ]] && runs_program=true
        [[ $RUNNABLE == *" $word "* ]] || needs+=" $word"
    done
    if ! $runs_program || [ -n "$needs" ]; then
        $runs_program && echo "not run (needs$needs): $origin: $command"
        continue
    fi
    key=$(key_of "$command")
    grep -v '^+ ' "$work/expected/${entry[$key]-none}" >"$work/want" 2>/dev/null || true
    grep '^+ ' "$work/expected/${entry[$key]-none}" 2>/dev/null | cut -c3- >"$work/checks" || true
    if [ -e "$work/shown/$k" ]; then
        cp "$work/shown/$k" "$work/want"
    elif [ -z "${entry[$key]-}" ]; then
        fail "$origin: no output shown, and none expected in tests/doc_examples.txt: \$ $key"
        continue
    fi
    used[$key]=1
    ran=$((ran + 1))
    echo "run: $origin: $command"
    if ! run "$command" "$work/checks"; then
        fail "$origin: $command"
    elif [ "$(cat "$work/actual")" != "$(cat "$work/want")" ]; then
        fail "$origin: $command printed something else:"
        diff <(cat "$work/want") <(cat "$work/actual") || true
    fi
done <"$work/examples"

for key in "${!entry[@]}"; do
    [ -n "${used[$key]-}" ] || fail "tests/doc_examples.txt expects a result of an example that no document has: \$ $key"
done

echo "$ran examples run, $failures failed"
[ "$failures" -eq 0 ] && [ "$ran" -gt 0 ]
