#!/usr/bin/env python3
"""Runs commands in turn, round after round, and prints each one's median
wall time with its quartiles, then the median of each one's ratio to the
first command in the same round. On a shared or virtual machine whose speed
drifts from one second to the next, commands run side by side in the same
rounds drift alike, where runs of one command after another do not.

Usage: bench/interleave.py [--status=N] ROUNDS 'COMMAND [ARG]... [< FILE]'...
Each command's output goes to /dev/null; its input is FILE or /dev/null.
A command that exits with a status other than 0 (or N: the gate's 1, for
lines over its limit) stops the whole."""
import os
import shlex
import statistics
import sys
import time


def parse(text):
    words = shlex.split(text)
    if "<" in words:
        at = words.index("<")
        return words[:at], words[at + 1]
    return words, "/dev/null"


def run(words, source, accepted):
    fd_in = os.open(source, os.O_RDONLY)
    fd_out = os.open("/dev/null", os.O_WRONLY)
    start = time.perf_counter()
    pid = os.posix_spawnp(words[0], words, os.environ,
                          file_actions=[(os.POSIX_SPAWN_DUP2, fd_in, 0), (os.POSIX_SPAWN_DUP2, fd_out, 1)])
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    os.close(fd_in)
    os.close(fd_out)
    if os.waitstatus_to_exitcode(status) not in accepted:
        sys.exit(f"interleave.py: {words[0]}: exit status {os.waitstatus_to_exitcode(status)}")
    return elapsed


def main():
    arguments = sys.argv[1:]
    accepted = {0}
    if arguments and arguments[0].startswith("--status="):
        accepted.add(int(arguments.pop(0).removeprefix("--status=")))
    if len(arguments) < 2:
        sys.exit(__doc__)
    rounds = int(arguments[0])
    commands = [(text, *parse(text)) for text in arguments[1:]]
    times = {text: [] for text, _, _ in commands}
    for _, words, source in commands:  # a first round to warm the caches
        run(words, source, accepted)
    for _ in range(rounds):
        for text, words, source in commands:
            times[text].append(run(words, source, accepted) * 1000)
    for text, _, _ in commands:
        t = sorted(times[text])
        print(f"{statistics.median(t):8.2f} ms (quartiles {t[len(t) // 4]:.2f}, {t[3 * len(t) // 4]:.2f})  {text}")
    # Each command against the first in the same round: a drift between
    # rounds cancels out of the ratio.
    first = times[commands[0][0]]
    for text, _, _ in commands[1:]:
        r = sorted(later / earlier for later, earlier in zip(times[text], first))
        print(f"{statistics.median(r):8.3f} x the first (quartiles {r[len(r) // 4]:.3f}, {r[3 * len(r) // 4]:.3f})  {text}")


main()
