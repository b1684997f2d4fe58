// A baseline: the lines over the limit that a gate run does not report,
// each known by its file's path and its text rather than its number, so
// that a line that moves stays in it and a line that changes is new.
//
// The file is text for a reviewer's diff: a first line naming its version,
// one entry a line, "PATH<TAB>TEXT", sorted by their bytes, then a last line
// that tells a whole file from a cut one. Path and text are escaped as
// paths are in messages (\\, \t, \r, \n, \xHH), so an entry is one line
// whatever the bytes. A path is relative to the baseline's directory when
// the file lies below it, and absolute otherwise, so that the same tree
// gives the same file from any directory and on any machine.
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "counting.h"

namespace cli::config {

inline constexpr std::string_view BASELINE_HEADER = "# cmeasure baseline 1";
inline constexpr std::string_view BASELINE_END = "# end of baseline";

class Baseline {
public:
    // Reads the baseline `path`; null with `error` naming the file, and the
    // line where the fault lies on one.
    static std::unique_ptr<Baseline> read(const std::string &path, std::string &error);

    // The key of the file whose canonical path is `canonical` in a baseline
    // in the directory `directory` (canonical, ending in '/').
    static std::string keyOf(std::string_view canonical, std::string_view directory);

    const std::string &directory() const { return directory_; }

    // The texts of the lines of the file `key`, sorted, each as often as
    // the file held it; empty for a file it does not name.
    std::vector<std::string_view> linesOf(std::string_view key) const;

    // Entries of measured files that no line matched.
    void countStale(Count entries) const { stale_.fetch_add(entries, std::memory_order_relaxed); }
    Count stale() const { return stale_.load(std::memory_order_relaxed); }

private:
    std::string directory_;
    std::vector<std::pair<std::string, std::string>> entries_; // sorted
    mutable std::atomic<Count> stale_ = 0; // counted by the workers as they measure
};

// The lines of one file that its baseline holds, found by their text: the
// worker reads the file's lines before its scan, and then asks of each line
// over the limit.
class BaselineMatch {
public:
    // `texts`: the file's entries. Reads the lines of `fd` from its start
    // with pread; false when it cannot be read again (a pipe).
    bool readLines(int fd, std::vector<std::string_view> texts);

    // Whether line `line` is in the baseline; each entry matches one line.
    bool take(Count line);

    // The entries no line took.
    Count left() const;

private:
    std::vector<std::string> texts_;           // distinct, sorted
    std::vector<Count> remaining_;             // of each text, entries not yet taken
    std::map<Count, std::size_t> lineTexts_;   // line → its text, for the lines that hold one
};

// The texts of the given lines of `fd`, read again from its start with
// pread, in the order of `lines` (ascending); false when it cannot be read
// again.
bool readLineTexts(int fd, const std::vector<Count> &lines, std::vector<std::string> &texts);

// Writes `entries` (key, text) to `path` as a baseline: sorted, into a
// temporary file beside it that is then renamed over it. Returns 0 or the
// errno of the failure.
int writeBaseline(const std::string &path, std::vector<std::pair<std::string, std::string>> entries);

} // namespace cli::config
