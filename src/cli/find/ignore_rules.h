// One list of ignore patterns in .gitignore syntax: how its lines are read,
// and which of its patterns decides about a path.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cli::ignore {

// One line of a rules file, with the cheapest test that gives the same
// answer as matching its whole glob.
struct Pattern {
    enum class Form {
        Literal,   // no special character: the name itself
        Suffix,    // '*' then a literal, matched against a last name: "*.o"
        Prefix,    // a literal then '*', matched against a last name: "tmp*"
        Wildcards, // anything else: the full glob matcher
    };
    std::string glob;
    std::string literal; // the literal part of the first three forms
    Form form = Form::Wildcards;
    bool negative = false;      // '!': re-includes what it matches
    bool directoryOnly = false; // a trailing '/': matches directories only
    bool nameOnly = false;      // no other '/': matches the last name of a path at any depth
};

enum class Verdict { None, Excluded, Included };

class PatternList {
public:
    // Adds the patterns of a rules file's text: lines end in LF or CRLF, a
    // byte-order mark at the start is no pattern, '#' starts a comment.
    void addLines(std::string_view text);

    // What the last pattern that matches says. `path` is relative to the
    // list's directory, `name` its last part. With `ignoreCase`, ASCII
    // letters match either case, for repositories kept on file systems that
    // do not tell case apart (macOS, Windows, vfat, SMB).
    Verdict verdict(std::string_view path, std::string_view name, bool directory, bool ignoreCase) const;

    bool empty() const { return patterns_.empty(); }

private:
    void addLine(std::string_view line);
    std::vector<Pattern> patterns_;
};

// Reads the rules file `path` (relative to the directory `at`) into `list`.
// Returns 0, or the errno of a failure worth a report: a missing file is
// none, and neither is one that is not a regular file.
int readRulesFile(int at, const std::string &path, bool noFollow, PatternList &list);

} // namespace cli::ignore
