// The program's entry unit defines the shared state; test and benchmark
// programs, which have entry points of their own, define it here.
#include "main.h"

FILE *fp = nullptr;
char line[NUM_OF_CHARS_IN_LINE] = {};
int lineWithMaxSymbols = 0;
int countIdentificators = 0;
int exitStatus = 0;
