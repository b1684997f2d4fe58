#!/usr/bin/env python3
"""Checks the figures `cmeasure --json` gives under C's rules on a real tree
against independent accounts of each file: identifiers against clang's raw
lexer (its raw_identifier tokens, less those of a header name), lines
against `wc -l` (plus one for a last line without LF), and the densest line
and its symbols against a plain model of physical lines.

    bench/compare_with_clang.py [--sample N] [--seed S] [--jobs J] [--ext=LIST] CMEASURE DIR

Prints one line per disagreement, then the counts; exits 1 on any
disagreement. Slow: clang runs once per file (about 40 files a second per
job), so it is no ctest test."""
import argparse
import json
import random
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

CPP_SUFFIXES = (b".cc", b".cpp", b".cxx", b".c++", b".hh", b".hpp", b".hxx")
WHITE = set(b" \t\r\n\v\f\0")
# Unicode spaces that clang's raw lexer gives as an "unknown" token.
UNICODE_SPACES = ["\u0085", "\u00a0", "\u1680", "\u180e", "\u2028", "\u2029", "\u202f", "\u205f", "\u3000"] + [
    chr(c) for c in range(0x2000, 0x200B)]


def path_bytes(value):
    return value.encode() if isinstance(value, str) else bytes(value)


def model(text):
    """Lines, the first densest line (0 when none) and its symbols."""
    lines = text.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    densest, most = 0, 0
    for number, line in enumerate(lines, 1):
        characters = line.decode("utf-8", "surrogateescape")
        symbols = sum(1 for c in characters if not (ord(c) < 128 and ord(c) in WHITE))
        if densest == 0 or symbols > most:
            densest, most = number, symbols
    return len(lines), densest, most


def wc_lines(path):
    out = subprocess.run(["wc", "-l"], stdin=open(path, "rb"), capture_output=True, check=True).stdout
    return int(out.split()[0])


def tokens(dump, path):
    marker = b"\tLoc=<" + path + b":"
    at, found = 0, []
    while True:
        end = dump.find(marker, at)
        if end < 0:
            return found
        chunk = dump[at:end]
        at = dump.find(b"\n", end) + 1
        space = chunk.find(b" '")
        close = chunk.find(b"'\t", space + 2)
        if space < 0 or close < 0:
            continue
        start = chunk[close + 1:].startswith(b"\t [StartOfLine]") or chunk[close + 2:].startswith(b"\t [StartOfLine]")
        found.append((chunk[:space], chunk[space + 2:close], start))


def blank(token):
    kind, spelling, _ = token
    if kind == b"comment":
        return True
    if kind != b"unknown" or not spelling:
        return False
    text = spelling.decode("utf-8", "surrogateescape")
    return all((ord(c) < 128 and ord(c) in WHITE) or c in UNICODE_SPACES for c in text)


def clang_identifiers(path):
    language = "c++" if path.endswith(CPP_SUFFIXES) else "c"
    dump = subprocess.run(["clang", "-fsyntax-only", "-Xclang", "-dump-raw-tokens", "-x", language, path],
                          capture_output=True).stderr
    found = tokens(dump, path)

    def following(k):
        k += 1
        while k < len(found) and blank(found[k]):
            k += 1
        return k if k < len(found) and not found[k][2] else len(found)

    count, k = 0, 0
    while k < len(found):
        count += found[k][0] == b"raw_identifier"
        if found[k][0] == b"hash" and found[k][2]:
            name = following(k)
            if name < len(found) and found[name][0] == b"raw_identifier" and \
                    found[name][1] in (b"include", b"include_next", b"import"):
                less = following(name)
                if less < len(found) and found[less][0] == b"less":
                    greater = less
                    while (greater := following(greater)) < len(found) and found[greater][0] != b"greater":
                        pass
                    if greater < len(found):
                        count += 1
                        k = greater
        k += 1
    return count


def check(row):
    path = path_bytes(row["path"])
    with open(path, "rb") as f:
        text = f.read()
    lines, densest, most = model(text)
    wc = wc_lines(path) + (1 if text and not text.endswith(b"\n") else 0)
    expected = {"lines": lines, "line_with_max_symbols": densest, "max_symbols": most,
                "identifiers": clang_identifiers(path)}
    wrong = [f"{k} {row[k]} != {v}" for k, v in expected.items() if row[k] != v]
    if wc != lines:
        wrong.append(f"wc -l gives {wc}, the model {lines}")
    return path, wrong


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sample", type=int, default=0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--ext", default="c,h")
    parser.add_argument("cmeasure")
    parser.add_argument("dir")
    args = parser.parse_args()
    out = subprocess.run([args.cmeasure, "--json", "--no-ignore", "--ext=" + args.ext, args.dir], capture_output=True, check=True).stdout
    rows = [json.loads(line) for line in out.splitlines()]
    rows = [row for row in rows if not row.get("total")]
    measured = len(rows)
    if args.sample and args.sample < len(rows):
        rows = random.Random(args.seed).sample(rows, args.sample)
    disagreements = 0
    with ThreadPoolExecutor(args.jobs) as pool:
        for path, wrong in pool.map(check, rows):
            if wrong:
                disagreements += 1
                print(path.decode(errors="backslashreplace") + ": " + "; ".join(wrong))
    print(f"{len(rows)} of {measured} files checked, {len(rows) - disagreements} agree, {disagreements} disagree")
    return 1 if disagreements else 0


if __name__ == "__main__":
    sys.exit(main())
