// A SARIF 2.1.0 log of the --max-symbols gate, the format that code
// scanning services (GitHub, GitLab, Azure DevOps) and editors' SARIF
// viewers read. It is written as it goes: the opening once, each file's
// results as they come, then the closing; every call appends to a buffer
// the caller flushes, so that memory stays flat however many results the
// run finds.
#pragma once

#include <string>
#include <string_view>

#include "counting.h"

namespace cli::sarif {

// The id of the one rule the log reports on.
inline constexpr std::string_view RULE_ID = "max-symbols";

// A path as a URI reference: every byte but the unreserved characters of
// RFC 3986 (letters, digits, '-', '.', '_', '~') and '/' is percent-encoded,
// so that any name, UTF-8 or not, makes a valid URI. An absolute path
// becomes a file:// URI.
std::string uriOf(std::string_view path);

// The results of one file, formatted where the file is measured (a worker)
// with its URI encoded once. Each result starts with the separator ",\n",
// since a worker cannot know whether another file's result came before;
// Log::results drops the first one of the run.
class FileResults {
public:
    FileResults(std::string_view path, Count limit);

    // `piece` is over the limit. `allowed`: its line holds the allow
    // marker, so the result is written as suppressed in the source.
    void append(std::string &out, const PieceOverLimit &piece, bool allowed) const;

private:
    std::string location_; // the artifactLocation object, the same for every result
    Count limit_;
};

// The document around the results, for the one thread that writes them in
// order.
class Log {
public:
    explicit Log(Count limit) : limit_(limit) {}

    // One run whose tool is this program, its version and the rule, the
    // limit among the rule's properties; then the results array is open.
    void appendOpening(std::string &out) const;

    // Results made by FileResults, as they are to be written, in order:
    // the separator before the first of the run is dropped. Every result
    // of the run passes through here.
    std::string_view results(std::string_view results);

    // The rest of the document, valid after any number of results, zero
    // too. `successful` is false when a path could not be read or the
    // output written: the run's invocation says so, and viewers show the
    // log as incomplete.
    static void appendClosing(std::string &out, bool successful);

private:
    Count limit_;
    bool anyResult_ = false;
};

} // namespace cli::sarif
