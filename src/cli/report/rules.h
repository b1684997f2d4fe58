// The gate's rules: what each finds on a line, and the names and words by
// which every format reports it. The engine reports the facts of each line
// over the limit; a rule makes them a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "counting.h"

namespace cli {

struct Finding;

struct Rule {
    std::string_view id;   // SARIF's ruleId, GitLab's check_name: stable, for tools
    std::string_view name; // SARIF's rule name, one word
    std::string_view summary;
    std::string description; // a paragraph: what it finds, and what to do
    std::string helpText; // what a symbol is, how to mend a line, the allow marker
    std::string helpMarkdown;
    // The message of one finding: what a person reads beside the line.
    void (*message)(std::string &out, const Finding &finding);
};

// The rules in the order their indices name them (SARIF's ruleIndex).
std::span<const Rule> rules();

inline constexpr std::size_t MAX_SYMBOLS = 0; // a line holds more symbols than --max-symbols

// A finding of a rule on one line, with what each format may write of it.
struct Finding {
    std::size_t rule = MAX_SYMBOLS;
    Count line = 0;
    Count column = 0;          // 1-based, in bytes
    Count characterColumn = 0; // the same place in characters (code points)
    Count symbols = 0;
    Count limit = 0;            // the gate's limit for the line's file
    std::uint64_t textHash = 0; // of the line's symbols, which stays when lines above it move
    bool allowed = false;       // the line holds the allow marker in a comment
};

// Where a finding is, in the words of a form that counts its columns in
// characters: `beforeLine`, the line, `beforeColumn`, the column.
void appendLineAndColumn(std::string &out, const Finding &finding, std::string_view beforeLine,
                         std::string_view beforeColumn);

} // namespace cli
