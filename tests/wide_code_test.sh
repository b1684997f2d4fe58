#!/usr/bin/env bash
# Instructions of AVX, AVX-512, BMI and POPCNT may appear only in the code of
# the engine's AVX2 and AVX-512 sets, the functions of their namespaces
# (anonymous)::avx2 and (anonymous)::avx512, which the dispatch enters only
# on a processor that has them: anywhere else they would stop the program
# on a processor without them, which a test run on a newer one would not
# show. (tzcnt is left out: it is
# bsf on older processors, and compilers use it so for nonzero operands.)
# Usage: wide_code_test.sh OBJDUMP PROGRAM
set -euo pipefail
objdump=$1
program=$2

listing=$("$objdump" -d --no-show-raw-insn -C "$program")
# Prints "function: instruction" for each wide instruction, with an argument
# of 1 for those inside the allowed functions and 0 for those outside them;
# outside, the whole line, address and operands, so that a failure shows
# where to look.
wide() {
    awk -v want="$1" '
        /^[0-9a-f]+ <.*>:$/ {
            name = $0
            # The namespace must be that of the function itself: no "<" of
            # a template argument list may come before it.
            allowed = name ~ /^[0-9a-f]+ <[^<]*\(anonymous namespace\)::(avx2|avx512)::/
            next
        }
        allowed == want && /\t(v[a-z0-9]+|k[a-z]+[bwdq]|popcnt|lzcnt|andn|blsr|blsi|blsmsk|bextr|bzhi|shlx|shrx|sarx|pdep|pext|mulx|rorx)([ \t]|$)/ {
            print name, want ? $2 : $0
        }' <<<"$listing" | sort | uniq -c
}

# The listing must show the wide code where it belongs, or the search below
# proves nothing: the AVX2 compares lie in the AVX2 set's functions.
inside=$(wide 1)
if ! grep -q '::avx2::.*vpcmpeqb' <<<"$inside"; then
    echo "no AVX2 compare found in the AVX2 code: is this listing the program's?"
    exit 1
fi
outside=$(wide 0)
if [ -n "$outside" ]; then
    echo "wide instructions outside the code of their sets:"
    echo "$outside"
    exit 1
fi
echo "wide instructions only in the AVX2 and AVX-512 code"
