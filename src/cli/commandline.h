// The command-line face: files, source trees and standard input measured
// side by side, written as a table or as JSON Lines.
#pragma once

namespace cli {

// Runs with the program's arguments and returns the exit status: 0 when
// every path was measured, 1 when one could not be or the output could not
// be written, 2 for a usage error.
int runCommandLine(int argc, char **argv);

} // namespace cli
