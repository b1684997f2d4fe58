// Console and file input and output, and the text of the result report.
#pragma once

// Prints text on standard output; a failed write makes the exit status 1.
void writeConsole(const char *text);

// Captures typed lines up to the end-marker line, measuring each as it comes.
void readFromConsole();

// Closes the input file, if one is open, and prints the report.
void writeInConsole();

// Asks for the source path and opens it into fp; ends the process abnormally
// when it cannot be opened.
void readFromFile();

// Closes the input file, asks for a result path and writes the report there.
void writeInFile();
