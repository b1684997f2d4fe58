#!/usr/bin/env python3
"""Checks the figures `cmeasure --json` gives under C's rules on a real tree
against independent accounts of each file: identifiers against clang's raw
lexer (its raw_identifier tokens, less those of a header name), lines
against `wc -l` (plus one for a last line without LF), the densest line and
its symbols against a plain model of physical lines, and the code, comment
and blank lines against a model of clang's tokens with the definitions of
tests/engine/clang_oracle.h (lineClasses), from the same dump.

    bench/compare_with_clang.py [--sample N] [--seed S] [--jobs J] [--ext=LIST] CMEASURE DIR

Prints one line per disagreement, then the counts; exits 1 on any
disagreement. Clang's compiler proper lexes up to 64 files a call (one call a
file for a batch that fails); still a few hundred files a second per job, so
it is no ctest test."""
import argparse
import functools
import json
import os
import random
import re
import shlex
import subprocess
import sys
import tempfile
from concurrent.futures import ProcessPoolExecutor

# The suffixes cmeasure reads as C++ (src/cli/find/dialect.cpp).
CPP_SUFFIXES = tuple(b"." + s for s in b"C cc CC cp cpp CPP cxx CXX c++ C++ cppm ccm cxxm c++m ixx ii cu hip mm M mii "
                     b"H hh hp hpp HPP hxx h++ ipp tpp tcc inl".split())
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
    # A byte order mark that begins the text is white space.
    if text.startswith(b"\xef\xbb\xbf"):
        lines[0] = lines[0][3:]
    densest, most = 0, 0
    for number, line in enumerate(lines, 1):
        characters = line.decode("utf-8", "surrogateescape")
        symbols = sum(1 for c in characters if not (ord(c) < 128 and ord(c) in WHITE))
        if densest == 0 or symbols > most:
            densest, most = number, symbols
    return len(lines), densest, most


# Files per clang call, and source bytes per call: a dump is about ten times its source.
BATCH = 64
BATCH_BYTES = 4 << 20
# llvm writes the token dump to an unbuffered standard error, about eleven
# write calls a token; holding them in a buffer makes clang some 15 times faster.
HOLD_STDERR = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>
#include <unistd.h>
static char held[1 << 20];
static size_t used;
static ssize_t (*real_write)(int, const void *, size_t);
static void flush(void) {
    size_t done = 0;
    while (done < used) {
        ssize_t n = real_write(2, held + done, used - done);
        if (n <= 0) break;
        done += (size_t)n;
    }
    used = 0;
}
ssize_t write(int fd, const void *data, size_t size) {
    if (!real_write) real_write = (ssize_t (*)(int, const void *, size_t))dlsym(RTLD_NEXT, "write");
    if (fd != 2) return real_write(fd, data, size);
    if (size > sizeof held - used) flush();
    if (size > sizeof held) return real_write(fd, data, size);
    memcpy(held + used, data, size);
    used += size;
    return (ssize_t)size;
}
__attribute__((destructor)) static void finish(void) { if (real_write) flush(); }
"""


def hold_stderr_library(directory):
    """A preload library that buffers standard error, or None if it does not build."""
    source, library = os.path.join(directory, "hold.c"), os.path.join(directory, "hold.so")
    with open(source, "w") as f:
        f.write(HOLD_STDERR)
    built = subprocess.run(["clang", "-O2", "-shared", "-fPIC", "-o", library, source, "-ldl"], capture_output=True)
    return library if built.returncode == 0 else None


def wc_lines(paths):
    """`wc -l` of each path, one call for all of them when the names allow it."""
    out = subprocess.run(["wc", "-l", "--"] + paths, capture_output=True).stdout.splitlines()
    if len(paths) > 1:
        out = out[:-1]
    if len(out) == len(paths) and all(line.split(None, 1)[1:] == [p] for line, p in zip(out, paths)):
        return [int(line.split()[0]) for line in out]
    return [int(subprocess.run(["wc", "-l"], stdin=open(p, "rb"), capture_output=True).stdout.split()[0])
            for p in paths]


def token_patterns(path):
    """A token of one file's dump (kind, spelling, start-of-line mark), and its kind alone."""
    flags = rb"(?: \[LeadingSpace\])?(?: \[ExpandDisabled\])?(?: \[UnClean='.*?'\])?"
    loc = flags + rb"\tLoc=<" + re.escape(path) + rb":[0-9]+:[0-9]+>\n"
    return (re.compile(rb"([a-z0-9_]+) '(.*?)'\t( \[StartOfLine\])?" + loc, re.S),
            re.compile(rb"([a-z0-9_]+) '.*?'\t(?: \[StartOfLine\])?" + loc, re.S))


def walk(dump, pattern, at):
    """The tokens from the one at `at` on, as (kind, spelling, at start of line)."""
    return (token for _, token in walk_from(dump, pattern, at))


def walk_from(dump, pattern, at):
    """The tokens from the one at `at` on, each with where it starts."""
    while (token := pattern.match(dump, at)) is not None:
        yield at, (token.group(1), token.group(2), bool(token.group(3)))
        at = token.end()


def blank(token):
    kind, spelling, _ = token
    if kind == b"comment":
        return True
    if kind != b"unknown" or not spelling:
        return False
    text = spelling.decode("utf-8", "surrogateescape")
    return all((ord(c) < 128 and ord(c) in WHITE) or c in UNICODE_SPACES for c in text)


def header_name_identifiers(following):
    """The identifiers inside the header name that the hash first in `following` opens, if any."""
    def step():
        # A token that starts a line, a blank one too, ends the directive.
        token = next((t for t in following if t[2] or not blank(t)), None)
        return None if token is None or token[2] else token

    next(following)
    name = step()
    if name is None or name[0] != b"raw_identifier" or name[1] not in (b"include", b"include_next", b"import"):
        return 0
    less = step()
    if less is None or less[0] != b"less":
        return 0
    inside = 0
    while (token := step()) is not None and token[0] != b"greater":
        inside += token[0] == b"raw_identifier"
    return inside if token is not None else 0


def identifiers(dump, path):
    """raw_identifier tokens less those of header names; None if the dump does not parse."""
    token, kind = token_patterns(path)
    kinds = kind.findall(dump)
    if len(kinds) != dump.count(b"\tLoc=<"):
        return None
    count = kinds.count(b"raw_identifier")
    if b"hash" in kinds:
        # clang marks the first token after a newline as the line's start,
        # white space and comments included: a hash after only those opens
        # a directive too.
        line_blank = True
        for at, lexed in walk_from(dump, token, 0):
            first = lexed[2] or line_blank
            line_blank = first and blank(lexed)
            if lexed[0] == b"hash" and first:
                count -= header_name_identifiers(walk(dump, token, at))
    return count


# Each byte's class for the line classes: 0 white space, LF itself, 1 code;
# a comment's bytes other than white space become 2.
CODE, COMMENT = 1, 2
CLASS_OF = bytes(10 if b == 10 else 0 if b in WHITE else CODE for b in range(256))
RAW_PREFIXES = (b"R", b"LR", b"uR", b"UR", b"u8R")


def classes_pattern(path):
    """A token of one file's dump: kind, spelling, its bytes in the file when
    they differ (UnClean), and its line and column."""
    flags = rb"(?: \[StartOfLine\])?(?: \[LeadingSpace\])?(?: \[ExpandDisabled\])?(?: \[UnClean='(.*?)'\])?"
    return re.compile(rb"([a-z0-9_]+) '(.*?)'\t" + flags + rb"\tLoc=<" + re.escape(path) + rb":([0-9]+):([0-9]+)>\n", re.S)


def marked(kind, spelling):
    """"comment" for a comment (an unknown token that begins as one being a
    block comment the input ends), "raw" for a raw string (or what is left of
    one that has no end or a bad delimiter, an unknown token), else None."""
    if kind == b"comment" or (kind == b"unknown" and spelling.startswith(b"/*")):
        return "comment"
    quote = spelling.find(b'"')
    if (b"string_literal" in kind or kind == b"unknown") and quote > 0 and spelling[:quote] in RAW_PREFIXES:
        return "raw"
    return None


def line_starts(text):
    """Where each line begins as clang numbers them: LF, CR and CR LF end one."""
    return [0] + [m.end() for m in re.finditer(rb"\r\n|\r|\n", text)]


def located(tokens, text):
    """The comments and raw strings among the tokens, as (what, bytes, where
    in `text`): from each one's line and column, or, should its bytes not lie
    there, by looking for every token's bytes after the one before it."""
    spans = [(what, unclean or spelling, int(line), int(column)) for kind, spelling, unclean, line, column in tokens
             if (what := marked(kind, spelling))]
    starts = line_starts(text) if spans else []
    found = [(what, raw, starts[line - 1] + column - 1) for what, raw, line, column in spans if line <= len(starts)]
    if len(found) == len(spans) and all(text.startswith(raw, at) for _, raw, at in found):
        return found
    found, cursor = [], 0
    for kind, spelling, unclean, _, _ in tokens:
        raw = unclean or spelling
        at = text.find(raw, cursor)
        if at < 0 or not raw:
            continue
        cursor = at + len(raw)
        if what := marked(kind, spelling):
            found.append((what, raw, at))
    return found


SPLICE = re.compile(rb"\\[ \t\v\f]*(?:\r\n|\n\r|\r|\n)")


def past_splices(text, at, end):
    """The first byte at or after `at` that is no part of a splice (a
    backslash, horizontal white space, then LF, CR, or both in either order)."""
    while at < end and (splice := SPLICE.match(text, at, end)):
        at = splice.end()
    return at


def line_classes(dump, path, text):
    """Each line's class, "code", "comment" or "blank", from clang's tokens, as
    tests/engine/clang_oracle.h's lineClasses counts them: a line holds code
    when a byte other than white space (space, tab, CR, LF, VT, FF, NUL) of
    a token other than a comment lies on it, or any byte of a raw string; a
    comment when such a byte of a comment does and none of code. A byte
    order mark that begins the text is white space, and so are line splices
    but for a backslash that a lone CR ends, which is code, those right
    before a comment's opener or a raw string's prefix included; the backslash of a splice that ends
    a line (spaces, tabs, CRs, VTs or FFs after it, then LF) counts
    nothing, and the '/' of a comment's opener that a splice cuts in two is
    code on its line. None if the dump does not parse."""
    tokens = classes_pattern(path).findall(dump)
    if len(tokens) != dump.count(b"\tLoc=<"):
        return None
    marks = bytearray(text.translate(CLASS_OF))
    if text.startswith(b"\xef\xbb\xbf"):
        marks[0:3] = bytes(3)
    raw_lines = set()
    for what, raw, at in located(tokens, text):
        end = at + len(raw)
        # The splices a comment's or a raw string's token begins with lie
        # before its opener or prefix.
        at = past_splices(text, at, end)
        if what == "comment":
            marks[at:end] = marks[at:end].replace(bytes([CODE]), bytes([COMMENT]))
            if text[at + 1:at + 2] == b"\\":
                marks[at] = CODE
        else:
            first = text.count(b"\n", 0, at)
            raw_lines.update(range(first, first + text.count(b"\n", at, end - 1) + 1))
    classes = []
    offset = 0
    lines = marks.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    for number, line in enumerate(lines):
        end = offset + len(line)
        kept = line.rstrip(b"\0")
        last = offset + len(kept) - 1
        if kept and end < len(text) and text[last] == ord("\\") and b"\0" not in text[last + 1:end]:
            kept = kept[:-1]
        classes.append("code" if number in raw_lines or CODE in kept else "comment" if COMMENT in kept else "blank")
        offset = end + 1
    return classes


def split_dump(dump, paths):
    """Each path's part of a dump that lists the paths' tokens one file after another."""
    markers = [b"\tLoc=<" + p + b":" for p in paths]
    firsts, cursor = [], 0
    for marker in markers:
        at = dump.find(marker, cursor)
        firsts.append(at)
        cursor = at if at >= 0 else cursor
    parts, begin = [], 0
    for k, marker in enumerate(markers):
        if firsts[k] < 0:
            parts.append(b"")
            continue
        limit = next((f for f in firsts[k + 1:] if f >= 0), len(dump))
        end = dump.find(b">\n", dump.rfind(marker, firsts[k], limit)) + 2
        parts.append(dump[begin:end])
        begin = end
    return parts


@functools.lru_cache
def front_end(language):
    """The compiler proper as the driver runs it for one file, less the file. The
    driver starts a process a file when given several, while the compiler proper
    takes them all in one process: some 10 times faster in batches of 64."""
    placeholder = os.devnull
    driver = subprocess.run(["clang", "-###", "-fsyntax-only", "-Xclang", "-dump-raw-tokens", "-x", language, "--",
                             placeholder], capture_output=True, text=True, check=True)
    command = next((shlex.split(line) for line in driver.stderr.splitlines() if '"-cc1"' in line), [""])
    if command[-1] != placeholder:
        raise RuntimeError("clang -### gives no command line that ends in the input: " + driver.stderr)
    return command[:-1]


def clang_dump(paths, language, library):
    env = dict(os.environ, LD_PRELOAD=library) if library else None
    run = subprocess.run(front_end(language) + paths, capture_output=True, env=env)
    return run.stderr if run.returncode == 0 else None


def clang_dumps(paths, language, library):
    """Each path's token dump, by one clang call, or by one call a path when the batch fails."""
    dump = clang_dump(paths, language, library)
    return split_dump(dump, paths) if dump is not None else [clang_dump([p], language, library) or b"" for p in paths]


def check(batch):
    rows, language, library = batch
    paths = [path_bytes(row["path"]) for row in rows]
    results = []
    for row, path, wc, dump in zip(rows, paths, wc_lines(paths), clang_dumps(paths, language, library)):
        with open(path, "rb") as f:
            text = f.read()
        lines, densest, most = model(text)
        wc += 1 if text and not text.endswith(b"\n") else 0
        count = identifiers(dump, path)
        expected = {"lines": lines, "line_with_max_symbols": densest, "max_symbols": most, "identifiers": count}
        classes = line_classes(dump, path, text)
        if classes is not None:
            expected.update({k + "_lines": classes.count(k) for k in ("code", "comment", "blank")})
        wrong = [f"{k} {row[k]} != {v}" for k, v in expected.items() if row[k] != v]
        if count is None or classes is None:
            wrong.append("clang's dump does not parse")
        if wc != lines:
            wrong.append(f"wc -l gives {wc}, the model {lines}")
        results.append((path, wrong))
    return results


def batches(rows, library):
    for language in ("c", "c++"):
        chosen = [row for row in rows if path_bytes(row["path"]).endswith(CPP_SUFFIXES) == (language == "c++")]
        batch, size = [], 0
        for row in chosen:
            batch.append(row)
            size += os.path.getsize(path_bytes(row["path"]))
            if len(batch) == BATCH or size > BATCH_BYTES:
                yield batch, language, library
                batch, size = [], 0
        if batch:
            yield batch, language, library


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
    with tempfile.TemporaryDirectory() as directory, ProcessPoolExecutor(args.jobs) as pool:
        for results in pool.map(check, batches(rows, hold_stderr_library(directory))):
            for path, wrong in results:
                if wrong:
                    disagreements += 1
                    print(path.decode(errors="backslashreplace") + ": " + "; ".join(wrong), flush=True)
    print(f"{len(rows)} of {measured} files checked, {len(rows) - disagreements} agree, {disagreements} disagree")
    return 1 if disagreements else 0


if __name__ == "__main__":
    sys.exit(main())
