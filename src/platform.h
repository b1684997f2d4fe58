// Text-mode input for Linux, whose stdio delivers bytes untranslated.
// A carriage return directly before a newline is not delivered, so CRLF
// files and terminals give the same lines as LF ones; a carriage return not
// followed by a newline is an ordinary character. Reads go straight to the
// file descriptor through a static buffer, and a read never waits for more
// than the terminal has already sent.
#pragma once

#include <cstdio>

// Starts delivering `file` from its beginning. Standard input needs no call.
void beginTextInput(FILE *file);

// Like fgets: copies delivered characters up to and including the next
// newline, at most size - 1 of them, then a zero byte. Returns the number
// copied, 0 only at the end of the input or on a read error.
int readTextLine(char *buffer, int size, FILE *file);

// The next delivered character (as unsigned char), or EOF.
int peekTextChar(FILE *file);
int getTextChar(FILE *file);

// Skips white space, empty lines included.
void skipTextWhiteSpace(FILE *file);

// True once a read of `file` has failed (not merely reached its end).
bool textInputFailed(FILE *file);
