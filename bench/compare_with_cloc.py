#!/usr/bin/env python3
"""Sorts the files where `cloc` and `cmeasure` count code, comment or blank
lines differently into kinds, by the lines that differ.

    bench/compare_with_cloc.py [--jobs J] [--examples N] CMEASURE DIR

Runs `cmeasure --json --no-ignore DIR` and `cloc --by-file --csv --quiet` on
the same files (cloc given cmeasure's list, and --skip-uniqueness so that it
counts a file whose bytes another holds too). To find the lines that differ,
each file is counted again by a copy of cloc's counter for C (its blank
lines, its removal of comments by Regexp::Common's regular expression over
the joined lines, with a line that ends in a backslash joined to the next),
checked against cloc's own figures, and set line by line against
cmeasure's classes, taken from clang's raw tokens as
bench/compare_with_clang.py has them (which checks them against the
program). Each differing line gets the kind that explains it; a file counts
once under each kind its lines show. Prints the count of files of each
kind, N example lines of each, and the files cloc leaves out; exits 1 when
a file's figures cloc gives differ from its copy's, or cmeasure's from the
clang model's, as those leave the kinds unknown."""
import argparse
import bisect
import collections
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
from concurrent.futures import ProcessPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare_with_clang as clang  # noqa: E402

# Perl's \s on bytes, and Regexp::Common's comment of C++ with the same
# matches: a block comment ends at the first "*/" after its "/*".
PERL_SPACE = b" \t\n\r\f\v"
CLOC_COMMENT = re.compile(rb"//[^\n]*\n|/\*.*?\*/", re.S)
# The byte order marks cloc drops, as it writes the first bytes' codes.
CLOC_MARKS = {"fe ff": 2, "ff fe": 2, "ef bb bf": 3, "f7 64 4c": 3, "fb ee 28": 3, "2b 2f 76 38": 4,
              "2b 2f 76 39": 4, "2b 2f 76 2b": 4, "2b 2f 76 2f": 4, "dd 73 66 73": 4, "84 31 95 33": 4,
              "2b 2f 76 38 2d": 5}


def perl_blank(line):
    return line.strip(PERL_SPACE) == b""


def continued(line):
    return line.endswith(b"\\")


def cloc_first_line(line):
    """The first line less the byte order mark cloc finds there."""
    codes = [format(b, "x") for b in line[:5] + b"\n"]
    for n in (2, 3, 4, 5):
        if len(codes) >= n and CLOC_MARKS.get(" ".join(codes[:n])) == n:
            return line[n:]
    return line


class Joined(collections.namedtuple("Joined", "text comments lines starts numbers dropped")):
    """The lines cloc joins: their text, the comments it finds there, each
    line as cloc reads it, where those it keeps begin there and their
    numbers, and the bytes of a byte order mark it drops."""

    def line_at(self, number):
        """Where line `number` begins in the joined text, or None if cloc dropped it as blank."""
        k = bisect.bisect_left(self.numbers, number)
        return self.starts[k] if k < len(self.numbers) and self.numbers[k] == number else None

    def source(self, at, line_starts):
        """Where byte `at` of the joined text is in the file whose lines begin at `line_starts`."""
        k = bisect.bisect_right(self.starts, at) - 1
        number = self.numbers[k]
        return line_starts[number] + (self.dropped if number == 0 else 0) + at - self.starts[k]


def cloc_classes(text):
    """Each line's class as cloc's counter for C has it, and the lines it joins."""
    lines = text.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    dropped = len(lines[0]) - len(cloc_first_line(lines[0])) if lines else 0
    if lines:
        lines[0] = lines[0][dropped:]
    lines = [line[:-1] if line.endswith(b"\r") else line for line in lines]
    classes = ["blank" if perl_blank(line) and (k == 0 or not continued(lines[k - 1])) else "comment"
               for k, line in enumerate(lines)]
    # The lines left, joined: a line that ends in a backslash runs into the next.
    joined, starts, numbers = [], [], []
    at = 0
    for k, line in enumerate(lines):
        if classes[k] == "blank":
            continue
        starts.append(at)
        numbers.append(k)
        piece = line + (b"\n" if continued(line) else b"\n\n")
        joined.append(piece)
        at += len(piece)
    text = b"".join(joined)
    comments = [m.span() for m in CLOC_COMMENT.finditer(text)]
    # What is left of the text, piece by piece: (where it begins there, where in the joined text).
    kept, moved, last = [], [], 0
    for begin, end in comments + [(len(text), len(text))]:
        moved.append((sum(len(p) for p in kept), last))
        kept.append(text[last:begin])
        last = end
    left = b"".join(kept)
    segments = left.split(b"\n")
    while segments and segments[-1] == b"":
        segments.pop()
    position = 0
    previous = None
    begins = [m[0] for m in moved]
    for segment in segments:
        if not perl_blank(segment) or (previous is not None and continued(previous)):
            # A segment's line is that of its first byte other than white
            # space; an empty one's, kept after a continued line, that of
            # whatever cloc removed there.
            first = position + len(segment) - len(segment.lstrip(PERL_SPACE))
            side = bisect.bisect_right if segment.strip(PERL_SPACE) else bisect.bisect_left
            piece = max(side(begins, first) - 1, 0)
            source = moved[piece][1] + first - moved[piece][0]
            classes[numbers[bisect.bisect_right(starts, source) - 1]] = "code"
        previous = segment
        position += len(segment) + 1
    return classes, Joined(text, comments, lines, starts, numbers, dropped)


def token_spans(dump, path, text):
    """Where clang's string literals, character constants and comments lie in `text`, as (begin, end, kind)."""
    tokens = clang.classes_pattern(path).findall(dump)
    starts = clang.line_starts(text)
    spans = []
    for kind, spelling, unclean, line, column in tokens:
        if kind == b"comment" or (kind == b"unknown" and spelling.startswith(b"/*")):
            name = "comment"
        elif b"char_constant" in kind or (kind == b"unknown" and spelling[:1] == b"'"):
            name = "character"
        elif b"string_literal" in kind or (kind == b"unknown" and spelling[:1] == b'"'):
            name = "string"
        else:
            continue
        raw = unclean or spelling
        at = starts[int(line) - 1] + int(column) - 1 if int(line) <= len(starts) else -1
        if at >= 0 and text.startswith(raw, at):
            spans.append((at, at + len(raw), name))
    return spans


def blank_kind(line, theirs):
    """The kind of a line blank here that cloc counts `theirs`."""
    if line.strip(PERL_SPACE) == b"\\":
        return "a line holding only a splice's backslash (blank here, code to cloc)"
    if perl_blank(line):
        return f"a blank line after a line that ends in a backslash (blank here, {theirs} to cloc)"
    return f"white space beyond Perl's \\s, a NUL say (blank here, {theirs} to cloc)"


def text_kind(number, ours, theirs, joined, spans, line_starts):
    """The kind of line `number` (0 on), which cmeasure counts `ours` and cloc `theirs`: by the comment
    cloc finds over it and where that begins here."""
    begin = joined.line_at(number)
    end = begin + len(joined.lines[number]) if begin is not None else None
    # A line comment on a line that ends in a backslash takes the LF that
    # joins the next line to it, so one that stops where the line begins is over it too.
    for start, stop in joined.comments if begin is not None else []:
        if start > end or stop < begin:
            continue
        source = joined.source(start, line_starts)
        marker = "'//'" if joined.text[start:start + 2] == b"//" else "'/*'"
        inside = next((kind for first, last, kind in spans if first <= source < last), None)
        if inside in ("string", "character"):
            return f"a {marker} inside a {inside} literal opens a comment to cloc ({ours} here, {theirs} to cloc)"
        if inside == "comment" and ours == "code" and start < begin:
            return (f"code after the end of a block comment that began after code on an earlier line, "
                    f"one line with that to cloc ({ours} here, {theirs} to cloc)")
        if inside is None and ours == "code":
            return f"a {marker} that opens no comment here opens one to cloc (code here, {theirs} to cloc)"
    line = joined.lines[number]
    previous = joined.lines[number - 1].rstrip(PERL_SPACE) if number > 0 else b""
    if ours == "comment" and line.rstrip(PERL_SPACE).endswith(b"\\"):
        return f"a comment line that ends in a splice's backslash (comment here, {theirs} to cloc)"
    if ours == "comment" and previous.endswith(b"/\\") and line.lstrip(PERL_SPACE)[:1] in (b"*", b"/"):
        return f"a comment's opener that a splice cuts in two (comment here, {theirs} to cloc)"
    if ours == "comment" and previous.endswith(b"\\"):
        return f"a comment line after a line that ends in a splice's backslash (comment here, {theirs} to cloc)"
    return f"unexplained ({ours} here, {theirs} to cloc)"


def sort_file(batch_item):
    """The kinds of one file's differing lines, with an example each; or why it cannot be sorted."""
    path, row, cloc_row, dump = batch_item
    with open(path, "rb") as f:
        text = f.read()
    ours = clang.line_classes(dump, path, text)
    if ours is None:
        return path, {"unknown: clang's dump does not parse": ""}
    if [ours.count(k) for k in ("code", "comment", "blank")] != [row["code_lines"], row["comment_lines"],
                                                                 row["blank_lines"]]:
        return path, {"unknown: cmeasure differs from the clang model": ""}
    theirs, joined = cloc_classes(text)
    if [theirs.count(k) for k in ("code", "comment", "blank")] != [cloc_row["code"], cloc_row["comment"],
                                                                   cloc_row["blank"]]:
        gave_up = cloc_row["code"] == 0 and cloc_row["comment"] == len(theirs) - cloc_row["blank"]
        return path, {"cloc gave up on the file (its timeout, a millisecond a line)" if gave_up
                      else "unknown: cloc's figures differ from its copy's": ""}
    spans = token_spans(dump, path, text)
    line_starts = [0] + [m.end() for m in re.finditer(rb"\n", text)]
    kinds = {}
    for number, (a, b) in enumerate(zip(ours, theirs)):
        if a != b:
            kind = blank_kind(joined.lines[number], b) if a == "blank" else text_kind(number, a, b, joined, spans,
                                                                                      line_starts)
            kinds.setdefault(kind, f"{number + 1}: {joined.lines[number][:100]!r}")
    return path, kinds


def cloc_rows(paths):
    """cloc's figures of the paths, by path; cloc reads them from a list."""
    with tempfile.NamedTemporaryFile("wb", suffix=".txt") as listing:
        listing.write(b"\n".join(paths) + b"\n")
        listing.flush()
        # Every file, though another holds the same bytes: the kinds are of counting.
        out = subprocess.run(["cloc", "--by-file", "--csv", "--quiet", "--skip-uniqueness",
                              "--list-file=" + listing.name],
                             capture_output=True, check=True).stdout
    rows = {}
    for line in out.splitlines()[1:]:
        language, rest = line.split(b",", 1)
        name, blank, comment, code = rest.rsplit(b",", 3)
        if language != b"SUM":
            rows[name] = {"language": language.decode(), "blank": int(blank), "comment": int(comment),
                          "code": int(code)}
    return rows


def digest(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).digest()


def left_out(missing, counted):
    """Why cloc leaves each missing file out: its bytes are those of a file it
    counts, or Perl reads it as binary."""
    sizes = {os.path.getsize(p) for p in missing}
    twins = {digest(p) for p in counted if os.path.getsize(p) in sizes}
    for path in missing:
        if os.path.getsize(path) == 0:
            yield path, "left out by cloc: empty"
        elif digest(path) in twins:
            yield path, "left out by cloc: the same bytes as a file it counts"
        elif subprocess.run(["perl", "-e", "exit(-B $ARGV[0] ? 0 : 1)", path]).returncode == 0:
            yield path, "left out by cloc: binary to Perl's -B"
        else:
            yield path, "unknown: left out by cloc for no reason found"


def sorted_batch(batch):
    rows, language, library = batch
    paths = [clang.path_bytes(row["path"]) for row, _ in rows]
    dumps = clang.clang_dumps(paths, language, library)
    return [sort_file((path, row, cloc_row, dump)) for (row, cloc_row), path, dump in zip(rows, paths, dumps)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--examples", type=int, default=2)
    parser.add_argument("cmeasure")
    parser.add_argument("dir")
    args = parser.parse_args()
    out = subprocess.run([args.cmeasure, "--json", "--no-ignore", args.dir], capture_output=True, check=True).stdout
    rows = [row for row in map(json.loads, out.splitlines()) if not row.get("total")]
    paths = [clang.path_bytes(row["path"]) for row in rows]
    theirs = cloc_rows(paths)
    files, examples = collections.Counter(), collections.defaultdict(list)
    compared, same = [], 0
    for row, path in zip(rows, paths):
        cloc_row = theirs.get(path)
        if cloc_row is None:
            continue
        if (row["code_lines"], row["comment_lines"], row["blank_lines"]) == (cloc_row["code"], cloc_row["comment"],
                                                                             cloc_row["blank"]):
            same += 1
        else:
            compared.append((row, cloc_row))
    for path, kind in left_out([p for p in paths if p not in theirs], [p for p in paths if p in theirs]):
        files[kind] += 1
        examples[kind].append(path.decode(errors="backslashreplace"))
    unknown = 0
    with tempfile.TemporaryDirectory() as directory, ProcessPoolExecutor(args.jobs) as pool:
        batches = list(clang.batches([r for r, _ in compared], clang.hold_stderr_library(directory)))
        by_path = {clang.path_bytes(r["path"]): c for r, c in compared}
        work = [([(r, by_path[clang.path_bytes(r["path"])]) for r in batch], language, library)
                for batch, language, library in batches]
        for results in pool.map(sorted_batch, work):
            for path, kinds in results:
                for kind, example in kinds.items():
                    files[kind] += 1
                    unknown += kind.startswith(("unknown", "unexplained"))
                    if len(examples[kind]) < args.examples:
                        examples[kind].append(path.decode(errors="backslashreplace") + ":" + example)
    print(f"{len(rows)} files: {same} counted alike by cloc and cmeasure, {len(compared)} otherwise, "
          f"{len(rows) - len(theirs)} left out by cloc")
    for kind, count in files.most_common():
        print(f"{count:7d}  {kind}")
        for example in examples[kind][:args.examples]:
            print(f"           {example}")
    return 1 if unknown else 0


if __name__ == "__main__":
    sys.exit(main())
