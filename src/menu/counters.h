// The menu's counters: the per-line measures and the scan of the input file,
// over the shared state of main.h.
#pragma once

#include "counting.h"

// True inside a block comment or a string literal; carried from line to line.
extern bool is_in_comment;

// Positions 0..359 of `line` that hold neither a space nor a zero byte.
int countSymbolsInLine(const char *line);

// Identifiers ended in `line` outside comments and strings, carrying the
// comment-or-string flag in is_in_comment.
int countIdentificatorsInLine(const char *line);

// Measures every line of fp and stores the two results.
void counter();
