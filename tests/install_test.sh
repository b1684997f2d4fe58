#!/usr/bin/env bash
# Installs the build tree given as $1 into a temporary DESTDIR and checks the
# installed tree: exactly the program and its manual page, a program that
# behaves as the one built, and a page that man renders without a warning.
set -euo pipefail
build=$1 version=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
root=$stage/usr

files=$(cd "$root" && find . -type f | sort)
[ "$files" = $'./bin/cmeasure\n./share/man/man1/cmeasure.1' ] || fail "installed files: $files"

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

# No man, no check: that is a failure, not a pass.
command -v man >/dev/null || fail "man is not installed"
page=$root/share/man/man1/cmeasure.1
export MANWIDTH=80 LC_ALL=C.UTF-8 MANPAGER=cat PAGER=cat
warnings=$(man --warnings -l "$page" 2>&1 >/dev/null) || fail "man failed: $warnings"
[ -z "$warnings" ] || fail "man warnings: $warnings"
text=$(man -l "$page")
for heading in NAME SYNOPSIS DESCRIPTION 'EXIT STATUS' EXAMPLES NOTES; do
    grep -qx "$heading" <<<"$text" || fail "page lacks the section $heading"
done
grep -q "cmeasure $version " <<<"$text" || fail "page does not name version $version"
echo "install test passed"
