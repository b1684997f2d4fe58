// The state that the units share. They pass no data as arguments: the
// reader of the moment fills `line`, the counters read it, and the results
// wait here for the report.
#pragma once

#include <cstdint>
#include <cstdio>

#include "counting.h"

// Width of the line buffer: a line holds at most 359 characters and a zero.
inline constexpr int NUM_OF_CHARS_IN_LINE = LINE_BUFFER_SIZE;

extern FILE *fp;                        // input file, later the result file
extern char line[NUM_OF_CHARS_IN_LINE]; // the line being measured
extern std::int64_t lineWithMaxSymbols;  // first result
extern std::int64_t countIdentificators; // second result
extern int exitStatus;                  // 1 once a result or output is lost
extern bool inputFailed;                // the input could not be read to its end

// Prints the title and the menu, reads a code and runs the mode it selects;
// returns the exit status.
int runMenu();
