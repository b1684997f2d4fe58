#!/usr/bin/env bash
# Installs the build tree given as $1 into a temporary DESTDIR and checks the
# installed tree: exactly the program, its gzipped manual page, its bash
# completion, the licence and the changelog; a program that behaves as the
# one built; a completion that bash runs; a page that man ($5, when given)
# renders without a warning. Then the documentation that only the Debian
# package holds: the copyright file and the changelog in Debian's formats,
# made from LICENSE and CHANGELOG.md of the sources ($3), with the maintainer
# given to the build ($4); without one, cpack must refuse to make a package.
set -euo pipefail
build=$1 version=$2 source=$3 maintainer=${4-} man=${5-}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export LC_ALL=C.UTF-8

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
root=$stage/usr
doc=$root/share/doc/cmeasure

files=$(cd "$root" && find . -type f | sort)
want='./bin/cmeasure
./share/bash-completion/completions/cmeasure
./share/doc/cmeasure/CHANGELOG.md
./share/doc/cmeasure/LICENSE
./share/man/man1/cmeasure.1.gz'
[ "$files" = "$want" ] || fail "installed files: $files"
for name in LICENSE CHANGELOG.md; do
    cmp -s "$source/$name" "$doc/$name" || fail "installed $name differs from the source's"
done
newest=$(grep -m1 '^## ' "$source/CHANGELOG.md")
[[ $newest == "## $version "* ]] || fail "the newest release in CHANGELOG.md is not $version: $newest"

# Compressed as Debian wants it, gzip -9n: no file name (flag 0x08) and no
# time in the header, the mark of the most compression; and the same text.
gzip_9n() {
    local header
    header=$(od -An -tx1 -N9 "$1" | tr -d ' \n')
    [[ $header == 1f8b08* ]] || fail "$1 is not gzip data"
    (( (0x${header:6:2} & 0x08) == 0 )) || fail "$1 keeps a file name"
    [ "${header:8:8}" = 00000000 ] || fail "$1 keeps a time"
    [ "${header:16:2}" = 02 ] || fail "$1 is not compressed with -9"
}
page=$root/share/man/man1/cmeasure.1.gz
gzip_9n "$page"
cmp -s <(gzip -dc "$page") "$build/man/cmeasure.1" || fail "installed page differs from the built one"

# The installed program must answer as the built one, output and status alike:
# a code that selects nothing, typed source, and an input file that is missing
# (which aborts: no core file is wanted). Each case is a printf format.
ulimit -c 0
while IFS= read -r input; do
    want=$(printf "$input" | "$build/cmeasure" 2>&1; echo "status $?")
    got=$(printf "$input" | "$root/bin/cmeasure" 2>&1; echo "status $?")
    [ "$got" = "$want" ] || fail "input '$input': got [$got], built program gave [$want]"
done <<'CASES'
5\n
4\nint a;\n/*end_of_program*/\n
2\n/nonexistent/main.c\n
CASES
[[ $(printf '5\n' | "$root/bin/cmeasure"; echo "status $?") == *"Menu code: status 0" ]] ||
    fail "menu code 5 does not end the program with status 0"

# The bash completion, in bash without any startup file, completing the
# words of each case in a directory that holds only a.c; the last word is
# the one completed. Bash gives "--ext=c" as the words "--ext" "=" "c".
completion=$root/share/bash-completion/completions/cmeasure
cmp -s "$source/completion/cmeasure.bash" "$completion" || fail "installed completion differs from the source's"
mkdir "$stage/cwd" && touch "$stage/cwd/a.c"
completing() {
    (cd "$stage/cwd" && bash --norc --noprofile -c 'source "$1" && shift && complete -p cmeasure &&
        compopt() { :; } && COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) && _cmeasure
        printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@")
}
[ "$(completing cmeasure -- | head -n1)" = "complete -F _cmeasure cmeasure" ] ||
    fail "bash does not complete cmeasure with _cmeasure: $(completing cmeasure -- 2>&1)"
while IFS='|' read -r words want; do
    # shellcheck disable=SC2086 # the words of the case, split
    got=$(completing $words | tail -n +2 | paste -sd ' ')
    [ "$got" = "$want" ] || fail "completing '$words' offers [$got], not [$want]"
done <<'CASES'
cmeasure --|--jobs= --ext= --cxx-ext= --json --format= --rules= --symbols= --max-symbols= --sarif --new-from-rev= --exclude= --no-ignore --files0-from= --max-depth= --summarize --sort= --by-dialect --list --histogram --top= --check --config= --no-config --baseline= --write-baseline= --help --version
cmeasure --files0-from =|a.c
cmeasure --files0-from a|a.c
cmeasure --config a|a.c
cmeasure --ext = a|
cmeasure -j 2 -- --|
cmeasure --rules m|menu
cmeasure --format g|github gitlab
cmeasure --sort l|lines line_with_max_symbols
cmeasure --symbols c|code
CASES
# Every long option that --help lists, so that a new one is not forgotten.
offered=$(completing cmeasure -- | tail -n +2)
for option in $("$root/bin/cmeasure" --help | sed -n 's/^ *\(-[a-z], \)\{0,1\}\(--[a-z0-9-]*=\{0,1\}\).*/\2/p'); do
    grep -qxF -- "$option" <<<"$offered" || fail "the completion does not offer $option, which --help lists"
done

grep -q '@[A-Z_]\+@' "$build/man/cmeasure.1" && fail "the built page keeps a placeholder"
if [ -n "$man" ]; then
    export MANWIDTH=80 MANPAGER=cat PAGER=cat
    warnings=$("$man" --warnings -l "$page" 2>&1 >/dev/null) || fail "man failed: $warnings"
    [ -z "$warnings" ] || fail "man warnings: $warnings"
    text=$("$man" -l "$page")
    for heading in NAME SYNOPSIS DESCRIPTION OPTIONS FIGURES 'THE MENU' 'EXIT STATUS' ENVIRONMENT EXAMPLES 'SEE ALSO'; do
        grep -qx "$heading" <<<"$text" || fail "page lacks the section $heading"
    done
    grep -q "cmeasure $version " <<<"$text" || fail "page does not name version $version"
fi

# The copyright file: machine-readable, one Expat paragraph whose holder and
# text are LICENSE's, undoing the field's indentation and " ." lines.
DESTDIR=$stage/deb cmake --install "$build" --prefix /usr --component deb >/dev/null
debdoc=$stage/deb/usr/share/doc/cmeasure
copyright=$debdoc/copyright
[ "$(head -n1 "$copyright")" = \
  'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ] ||
    fail "copyright file is not in the machine-readable format"
holder=$(sed -n 's/^Copyright (c) //p' "$source/LICENSE")
grep -qx "Copyright: $holder" "$copyright" || fail "copyright file does not name $holder"
cmp -s <(sed -n '/^Permission/,$p' "$source/LICENSE") \
       <(sed -n '/^License: Expat$/,/^$/{/^License:/d; s/^ //; s/^\.$//; p}' "$copyright") ||
    fail "copyright file's licence text is not LICENSE's"

if [ -z "$maintainer" ]; then
    [ "$(cd "$stage/deb" && find . -type f)" = ./usr/share/doc/cmeasure/copyright ] ||
        fail "package documentation without a maintainer: $(cd "$stage/deb" && find . -type f)"
    refusal=$(cd "$stage" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$stage/cpack" 2>&1) &&
        fail "cpack made a Debian package without a maintainer"
    [[ $refusal == *"No Debian package: "* && $refusal != *Warning* ]] ||
        fail "cpack's refusal gives no reason, or gives it with a warning: $refusal"
    [ -z "$(find "$stage/cpack" -name '*.deb' 2>/dev/null)" ] || fail "cpack left a package behind"
    echo "install test passed (the Debian package is off and refused)"
    exit 0
fi

[ "$(cd "$debdoc" && ls)" = $'changelog.gz\ncopyright' ] || fail "package documentation: $(ls "$debdoc")"
changelog=$debdoc/changelog.gz
gzip_9n "$changelog"
gzip -dc "$changelog" >"$stage/changelog"
command -v dpkg-parsechangelog >/dev/null || fail "dpkg-parsechangelog (dpkg-dev) is not installed"
warnings=$(dpkg-parsechangelog -l "$stage/changelog" --all 2>&1 >/dev/null) ||
    fail "dpkg-parsechangelog failed: $warnings"
[ -z "$warnings" ] || fail "dpkg-parsechangelog: $warnings"
# One field of every entry, newest first.
field() { dpkg-parsechangelog -l "$stage/changelog" --all --format rfc822 | sed -n "s/^$1: //p"; }
[ "$(field Source | sort -u)" = cmeasure ] || fail "changelog names the package $(field Source)"
[ "$(field Maintainer | sort -u)" = "$maintainer" ] || fail "changelog's maintainer: $(field Maintainer)"
# Every release of CHANGELOG.md, in its order and at its time.
releases=$(sed -n 's/^## \([^ ]*\) - .*/\1/p' "$source/CHANGELOG.md")
[ "$(field Version)" = "$releases" ] || fail "changelog's releases: $(field Version)"
dates=$(sed -n 's/^## [^ ]* - //p' "$source/CHANGELOG.md" | while read -r when; do date -uRd "$when"; done)
[ "$(field Date)" = "$dates" ] || fail "changelog's dates: $(field Date)"
# And every word of every item, in order.
words() { tr -s ' ' '\n' | awk NF; }
from_markdown=$(awk '/^## /{ print "release", $2; on = 1; next }
    !on || /^$/ { next }
    /^- /{ print "item", substr($0, 3); next }
    /^ +[^ ]/{ print; next }
    { print "unexpected", $0 }' "$source/CHANGELOG.md" | words)
from_debian=$(awk '/^[^ ]/{ v = $2; gsub(/[()]/, "", v); print "release", v; next }
    /^$/ || /^ -- / { next }
    /^  \* /{ print "item", substr($0, 5); next }
    /^    [^ ]/{ print; next }
    { print "unexpected", $0 }' "$stage/changelog" | words)
[ "$from_debian" = "$from_markdown" ] ||
    fail "changelog's items differ from CHANGELOG.md's: $(diff <(echo "$from_markdown") <(echo "$from_debian"))"
echo "install test passed"
