// cmeasure: reports the line with the most significant characters and the
// number of identifiers of a C source, read from a file or typed in.
#include <csignal>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "main.h"

#include "commandline.h"
#include "descriptors.h"
#include "report/output.h"

namespace {

// Both faces count with the instruction set that CMEASURE_SIMD names, or,
// when it is unset or empty, with the widest the processor runs. A name the
// engine does not know, or a set the processor does not run, is refused
// before anything is read or written.
bool chooseInstructionSetOfEnvironment()
{
    const char *value = std::getenv("CMEASURE_SIMD");
    const std::string name = value != nullptr ? value : "";
    std::string refusal;
    switch (chooseInstructionSet(name.c_str())) {
    case SetChoice::Chosen: return true;
    case SetChoice::Unknown: refusal = "unknown instruction set '" + cli::printablePath(name) + "'"; break;
    case SetChoice::NotRun: refusal = "the processor does not run " + cli::printablePath(name); break;
    }
    if (writeWhenReady(STDERR_FILENO, "cmeasure: CMEASURE_SIMD: " + refusal + "\n") != 0) {
        // Nowhere left to say it; the exit status still tells.
    }
    return false;
}

} // namespace

// With arguments the program is a command-line tool; without any, the menu.
int main(int argc, char **argv)
{
    if (!chooseInstructionSetOfEnvironment())
        return 2;

    // Beyond a file-size limit a write then fails instead of ending the
    // process, and the lost result is reported like any other.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc > 1)
        return cli::runCommandLine(argc, argv);

    return runMenu();
}
