// Runs git itself, for what only git knows exactly: where a work tree and
// its repository are, what its configuration says, what changed since a
// revision. Every source of configuration and every environment variable
// git reads is then honoured, without reading them here.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cli::git {

// Receives git's standard output as it comes, in chunks of any size;
// returning false stops the run (git is killed, and the outcome says so).
using Sink = std::function<bool(std::string_view chunk)>;

struct Limits {
    // Past this git is killed: a configuration file that is a FIFO, a slow
    // network mount or a stuck hook must not stall a walk. Git answers the
    // program's questions in milliseconds; 5 s leaves room for a cold disk.
    std::chrono::milliseconds time{5000};
    // Variables removed from the caller's environment for this run only,
    // e.g. GIT_DIR when asking about a repository other than the caller's.
    std::vector<std::string> unset = {};
};

struct Outcome {
    int status = -1;      // git's exit status; -1 when it did not exit by itself
    int startError = 0;   // errno when git could not be started (ENOENT: not installed)
    bool timedOut = false;
    bool stopped = false; // the sink asked to stop
    std::string message;  // the first "fatal: " line of its standard error, else its first line; at most 400 bytes

    bool succeeded() const { return status == 0; }
    // What went wrong, in a few words, for a message "git: REASON".
    std::string reason() const;
};

// Runs `git -C directory ARGUMENTS...` with the caller's environment, its
// standard input /dev/null, its output handed to `output`. Git is kept from
// running anything a repository configures: no pager, no file-system
// monitor, no optional locks, no prompt for credentials; its messages come
// in the C locale, so that callers may recognise them. It runs in a process
// group of its own, and the whole group is killed when time runs out.
Outcome run(const std::string &directory, const std::vector<std::string> &arguments, const Sink &output,
            const Limits &limits = {});

} // namespace cli::git
