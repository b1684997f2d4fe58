// Console and file input and output, and the text of the result report.
#pragma once

// Prints text on standard output; a failed write makes the exit status 1.
void writeConsole(const char *text);

// Says that the input could not be read to its end; the exit status
// becomes 1.
void writeReadFailure();

// Captures typed lines up to the end-marker line, measuring each as it comes.
void readFromConsole();

// Closes the input file, if one is open, and prints the report, followed
// on a line of its own by a word of the failure if the input was not read
// to its end.
void writeInConsole();

// Asks for the source path and opens it into fp; ends the process abnormally,
// without a core file, when it cannot be opened. Returns false, having said
// so, when standard input failed before a whole path was read.
bool readFromFile();

// Closes the input file, asks for a result path and writes the report there;
// saves nothing and asks nothing when the input was not read to its end.
// A result path that names the input file, or the regular file standard
// input is read from, is refused.
void writeInFile();
