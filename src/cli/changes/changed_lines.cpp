#include "changes/changed_lines.h"

#include <algorithm>
#include <charconv>

namespace cli::changed {

namespace {

// A header line names at most two paths, each at most PATH_MAX (4 096)
// bytes, four times that once quoted; a longer one is not git's.
constexpr std::size_t LONGEST_HEADER = std::size_t{64} * 1024;

bool takePrefix(std::string_view &text, std::string_view prefix)
{
    if (!text.starts_with(prefix))
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

// A decimal number at the start of `text`, taken off it.
bool takeNumber(std::string_view &text, Count &number)
{
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (failure != std::errc() || number < 0)
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

char escaped(char c)
{
    switch (c) {
    case 'a': return '\a';
    case 'b': return '\b';
    case 't': return '\t';
    case 'n': return '\n';
    case 'v': return '\v';
    case 'f': return '\f';
    case 'r': return '\r';
    default: return c; // '"' and '\\'
    }
}

bool isOctal(char c)
{
    return c >= '0' && c <= '7';
}

// A path on a "+++", "rename to" or "copy to" line: the rest of the line,
// quoted or not. A name that holds a space is followed by a tab on "+++",
// there for patch programs that would end the name at the space; an
// unquoted name never holds a tab of its own.
bool pathOfLine(std::string_view text, std::string &path)
{
    std::string_view rest;
    if (!unquotePath(text, path, rest))
        return false;
    if (!text.starts_with('"') && path.ends_with('\t'))
        path.pop_back();
    return rest.empty() || rest == "\t";
}

// The name on a "diff --git a/P b/P" line when both sides are the same
// path, quoted or not; empty when they differ (a rename or copy, whose
// later lines name the new path).
std::string pathOfDiffLine(std::string_view names)
{
    std::string before;
    std::string after;
    std::string_view rest;
    if (names.starts_with('"')) {
        if (!unquotePath(names, before, rest) || !takePrefix(rest, " ") || !unquotePath(rest, after, rest))
            return {};
    } else {
        if (names.size() < 5 || names.size() % 2 == 0)
            return {};
        const std::size_t half = (names.size() - 1) / 2;
        before = names.substr(0, half);
        after = names.substr(half + 1);
    }
    std::string_view a = before;
    std::string_view b = after;
    if (!takePrefix(a, "a/") || !takePrefix(b, "b/") || a != b)
        return {};
    return std::string(b);
}

// Sorted; ranges that overlap or touch become one.
void merge(std::vector<LineRange> &ranges)
{
    std::sort(ranges.begin(), ranges.end(), [](const LineRange &x, const LineRange &y) { return x.first < y.first; });
    std::size_t kept = 0;
    for (const LineRange &range : ranges) {
        if (kept > 0 && range.first <= ranges[kept - 1].end())
            ranges[kept - 1].count = std::max(ranges[kept - 1].end(), range.end()) - ranges[kept - 1].first;
        else
            ranges[kept++] = range;
    }
    ranges.resize(kept);
}

} // namespace

bool unquotePath(std::string_view text, std::string &path, std::string_view &rest)
{
    path.clear();
    if (!takePrefix(text, "\"")) {
        path = text;
        rest = {};
        return true;
    }
    while (!text.empty() && text.front() != '"') {
        if (text.front() != '\\') {
            path += text.front();
            text.remove_prefix(1);
        } else if (text.size() >= 4 && isOctal(text[1]) && isOctal(text[2]) && isOctal(text[3])) {
            path += static_cast<char>(((text[1] - '0') << 6) | ((text[2] - '0') << 3) | (text[3] - '0'));
            text.remove_prefix(4);
        } else if (text.size() >= 2 && std::string_view("abtnvfr\"\\").find(text[1]) != std::string_view::npos) {
            path += escaped(text[1]);
            text.remove_prefix(2);
        } else {
            return false;
        }
    }
    if (!takePrefix(text, "\""))
        return false;
    rest = text;
    return true;
}

bool ChangedLines::feed(std::string_view chunk)
{
    while (!chunk.empty() && error_.empty()) {
        const bool atLineStart = !skipping_ && line_.empty();
        if (atLineStart && inHunks_ && std::string_view("+- \\").find(chunk.front()) != std::string_view::npos)
            skipping_ = true;
        const std::size_t newline = chunk.find('\n');
        const std::string_view piece = chunk.substr(0, newline);
        if (!skipping_) {
            if (line_.size() + piece.size() > LONGEST_HEADER)
                return fail("header line too long", line_.substr(0, 80));
            line_ += piece;
        }
        if (newline == std::string_view::npos)
            break;
        chunk.remove_prefix(newline + 1);
        if (!skipping_)
            handleLine(line_);
        skipping_ = false;
        line_.clear();
    }
    return error_.empty();
}

bool ChangedLines::finish()
{
    if (error_.empty() && !line_.empty())
        handleLine(line_);
    line_.clear();
    skipping_ = false;
    if (error_.empty())
        commitFile();
    return error_.empty();
}

// Lines before the first file (a commit's header, say) are passed over, and
// so are those among the hunks that neither start a file nor a hunk.
void ChangedLines::handleLine(std::string_view line)
{
    std::string_view rest = line;
    if (takePrefix(rest, "diff --git ")) {
        commitFile();
        inFile_ = true;
        fromDiffLine_ = pathOfDiffLine(rest);
    } else if (inFile_ && takePrefix(rest, "@@ ")) {
        inHunks_ = true;
        handleHunk(rest);
    } else if (inFile_ && !inHunks_) {
        handleHeader(line);
    }
}

// A line between "diff --git" and the first hunk.
void ChangedLines::handleHeader(std::string_view line)
{
    std::string_view rest = line;
    if (takePrefix(rest, "+++ ")) {
        if (rest == "/dev/null")
            deleted_ = true;
        else if (!pathOfLine(rest, postImage_) || !takePrefix(rest, rest.starts_with('"') ? "\"b/" : "b/"))
            fail("malformed path", line);
        else
            postImage_.erase(0, 2);
    } else if (takePrefix(rest, "rename to ") || takePrefix(rest, "copy to ")) {
        if (!pathOfLine(rest, postImage_))
            fail("malformed path", line);
    } else if (rest.starts_with("deleted file mode ")) {
        deleted_ = true;
    } else if (rest.starts_with("Binary files ")) {
        binary_ = true;
    }
}

// "-a[,b] +c[,d] @@": the hunk adds d lines from line c; d is 1 when it is
// not given, and a hunk that only removes lines has d 0.
void ChangedLines::handleHunk(std::string_view header)
{
    Count ignored = 0;
    Count first = 0;
    Count count = 1;
    std::string_view rest = header;
    if (!takePrefix(rest, "-") || !takeNumber(rest, ignored) || (takePrefix(rest, ",") && !takeNumber(rest, ignored)) ||
        !takePrefix(rest, " +") || !takeNumber(rest, first) || (takePrefix(rest, ",") && !takeNumber(rest, count)) ||
        !rest.starts_with(" @@")) {
        fail("malformed hunk header", header);
        return;
    }
    if (count > 0)
        added_.push_back({first, count});
}

bool ChangedLines::fail(std::string_view what, std::string_view line)
{
    if (error_.empty())
        error_ = std::string(what) + ": " + std::string(line);
    return false;
}

void ChangedLines::commitFile()
{
    const std::string &path = postImage_.empty() ? fromDiffLine_ : postImage_;
    if (inFile_ && !deleted_ && !path.empty()) {
        std::vector<LineRange> &ranges = files_[path];
        if (binary_)
            ranges.push_back(WHOLE_FILE);
        ranges.insert(ranges.end(), added_.begin(), added_.end());
        merge(ranges);
    }
    fromDiffLine_.clear();
    postImage_.clear();
    added_.clear();
    inFile_ = inHunks_ = deleted_ = binary_ = false;
}

void ChangedLines::addWholeFile(std::string_view path)
{
    std::vector<LineRange> &ranges = files_[std::string(path)];
    ranges.assign(1, WHOLE_FILE);
}

bool ChangedLines::contains(std::string_view path) const
{
    return files_.find(path) != files_.end();
}

std::span<const LineRange> ChangedLines::ranges(std::string_view path) const
{
    const auto found = files_.find(path);
    if (found == files_.end())
        return {};
    return found->second;
}

bool ChangedLines::changed(std::string_view path, Count line) const
{
    const std::span<const LineRange> all = ranges(path);
    const auto after = std::upper_bound(all.begin(), all.end(), line,
                                        [](Count value, const LineRange &range) { return value < range.first; });
    return after != all.begin() && line < std::prev(after)->end();
}

} // namespace cli::changed
