// The four run modes: where the source comes from and where the report goes.
#pragma once

void caseFileFile();
void caseFileConsole();
void caseConsoleFile();
void caseConsoleConsole();
