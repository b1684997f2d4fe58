// The lines a change adds, read from git's own diff, so that renames, CRLF
// conversion and the work tree's configuration are git's. The diff is
//   git diff -U0 --inter-hunk-context=0 --no-color --no-ext-diff
//            --no-textconv -M --ignore-submodules=all
//            --src-prefix=a/ --dst-prefix=b/ COMMIT -- PATHS
// (the prefixes given, since diff.noPrefix and diff.mnemonicPrefix would
// change them), fed in chunks split anywhere. Paths are as git writes them:
// relative to the top of the work tree.
//
// Memory grows with the diff's size, one range per hunk and one entry per
// file it names, never with the size of a file: the lines a hunk adds or
// removes are skipped as they stream past, never held.
#pragma once

#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "counting.h"

namespace cli::changed {

// Lines first to first + count - 1 of a file as it is now.
struct LineRange {
    Count first;
    Count count;

    Count end() const { return first + count; } // one past the last
    bool operator==(const LineRange &) const = default;
};

// Whether `line` lies in one of `ranges`, asked of lines in ascending
// order: the ranges wholly before it are dropped, so a file's lines cost one
// pass over its ranges. No ranges (nullopt) means every line.
inline bool holdsInOrder(std::optional<std::span<const LineRange>> &ranges, Count line)
{
    if (!ranges)
        return true;
    while (!ranges->empty() && ranges->front().end() <= line)
        *ranges = ranges->subspan(1);
    return !ranges->empty() && ranges->front().first <= line;
}

// A file measured whole: every line counts as added (a binary file, whose
// lines git does not show, or a file git does not track).
inline constexpr LineRange WHOLE_FILE = {1, std::numeric_limits<Count>::max() - 1};

class ChangedLines {
public:
    // Reads the next piece of the diff. False once the diff is malformed,
    // with error() saying how; what follows is then ignored.
    bool feed(std::string_view chunk);

    // The end of the diff, which may lack its last newline. False as feed.
    bool finish();

    const std::string &error() const { return error_; }

    // Counts `path` as new in full: git shows no lines of a file it does
    // not track.
    void addWholeFile(std::string_view path);

    // True when the diff names `path` as a file that exists after the
    // change (new, changed, renamed, copied, its mode changed), even with no
    // line added; a deleted file is not there.
    bool contains(std::string_view path) const;

    // `path`'s added lines, sorted, apart and not touching, for a merge with
    // the lines of a scan; empty for a file the diff does not name.
    std::span<const LineRange> ranges(std::string_view path) const;

    bool changed(std::string_view path, Count line) const;

private:
    void handleLine(std::string_view line);
    void handleHeader(std::string_view line);
    void handleHunk(std::string_view header);
    bool fail(std::string_view what, std::string_view line);
    void commitFile();

    std::map<std::string, std::vector<LineRange>, std::less<>> files_;

    // The file whose header or hunks are being read.
    std::string fromDiffLine_; // the name on "diff --git", when it says it plainly
    std::string postImage_;    // from "+++", "rename to" or "copy to"
    std::vector<LineRange> added_;
    bool inFile_ = false;
    bool inHunks_ = false;
    bool deleted_ = false;
    bool binary_ = false;

    std::string line_;      // a header line split between chunks
    bool skipping_ = false; // within a line that a hunk adds or removes
    std::string error_;
};

// A path as git writes it in a diff: as it is, or between double quotes
// with C's escapes (\t, \n, \", \\, \ and three octal digits for a byte)
// when it holds a byte that core.quotePath asks to quote. False when a
// quoted path is malformed. `rest` is what follows the path.
bool unquotePath(std::string_view text, std::string &path, std::string_view &rest);

} // namespace cli::changed
