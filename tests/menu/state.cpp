// The program's entry unit defines the shared state; test and benchmark
// programs, which have entry points of their own, define it here.
#include "main.h"

FILE *fp = nullptr;
char line[NUM_OF_CHARS_IN_LINE] = {};
std::int64_t lineWithMaxSymbols = 0;
std::int64_t countIdentificators = 0;
int exitStatus = 0;
bool inputFailed = false;
