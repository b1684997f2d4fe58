#!/usr/bin/env bash
# Streams 12 000 000 lines of 179 one-letter identifiers, 2 148 000 000 of
# them and so more than an int holds, 4.3 GB in all, to the program $1 in
# run mode $2: 2 reads them as a file (a FIFO), 4 as typed lines (a pipe).
# The report must give the count in full, with status 0.
set -euo pipefail
program=$1 mode=$2
lines=12000000 words=179
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

line=$(printf 'a %.0s' $(seq $words))
line=${line% }
# yes ends by SIGPIPE when head has enough, which is no failure.
stream() { head -n $lines < <(yes "$line"); }

# Line 1 is the first with the most symbols in either mode (line 0 of typed
# input is the empty rest of the menu-code line).
want=$(printf 'Result:\nLine with max symbols: 1 \nCount of identificators: %d' $((lines * words)))
if [ "$mode" = 2 ]; then
    mkfifo "$dir/source.c"
    stream > "$dir/source.c" &
    got=$(printf '2\n%s\n' "$dir/source.c" | "$program") || { echo "FAIL: status $?" >&2; exit 1; }
    wait $!
else
    got=$({ echo 4; stream; echo '/*end_of_program*/'; } | "$program") || { echo "FAIL: status $?" >&2; exit 1; }
fi
[[ $got == *"$want" ]] || { echo "FAIL: the report ends [${got: -80}], not [$want]" >&2; exit 1; }
echo "mode $mode: $((lines * words)) identifiers counted"
