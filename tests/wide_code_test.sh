#!/usr/bin/env bash
# Instructions of AVX, AVX-512, BMI and POPCNT may appear only in the counters'
# entry points compiled for AVX2 or AVX-512 and in their block functions:
# anywhere else they would stop the program on a processor without them,
# which a test run on a newer one would not show. (tzcnt is left out: it is
# bsf on older processors, and compilers use it so for nonzero operands.)
# Usage: wide_code_test.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1
program=$2

listing=$("$objdump" -d --no-show-raw-insn -C "$program")
# Prints "function: instruction" for each wide instruction, with WIDE=1 for
# those inside the allowed functions and WIDE=0 for those outside them.
wide() {
    awk -v want="$1" '
        /^[0-9a-f]+ <.*>:$/ {
            name = $0
            allowed = name ~ /<\(anonymous namespace\)::((symbols|identifiers|scan)(Avx2|Avx512)\(|(Avx2|Avx512)Blocks::)/
            next
        }
        allowed == want && /\t(v[a-z0-9]+|k[a-z]+[bwdq]|popcnt|lzcnt|andn|blsr|blsi|blsmsk|bextr|bzhi|shlx|shrx|sarx|pdep|pext|mulx|rorx)([ \t]|$)/ {
            print name, $2
        }' <<<"$listing" | sort | uniq -c
}

# The listing must show the wide code where it belongs, or the search below
# proves nothing: the AVX2 compares lie in the AVX2 scan, or, where the
# compiler inlines less (as under the sanitizers), in the AVX2 blocks.
inside=$(wide 1)
if ! grep -q 'Avx2.*vpcmpeqb' <<<"$inside"; then
    echo "no AVX2 compare found in the AVX2 code: is this listing the program's?"
    exit 1
fi
outside=$(wide 0)
if [ -n "$outside" ]; then
    echo "wide instructions outside the entry points of their sets:"
    echo "$outside"
    exit 1
fi
echo "wide instructions only in the AVX2 and AVX-512 entry points"
