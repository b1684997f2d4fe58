#include "find/ignore_rules.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "find/opening.h"
#include "find/wildmatch.h"

namespace cli::ignore {
namespace {

// No larger rules file is read, so that a huge one cannot take the memory;
// git stops at the same size, so users see the same rules from both.
constexpr size_t MOST_RULES_BYTES = size_t{100} << 20;

// Trailing spaces end a pattern unless a backslash quotes them.
std::string_view trimTrailingSpaces(std::string_view line)
{
    size_t spaces = std::string_view::npos;
    for (size_t i = 0; i < line.size(); i++) {
        if (line[i] == ' ') {
            if (spaces == std::string_view::npos)
                spaces = i;
            continue;
        }
        if (line[i] == '\\' && ++i == line.size())
            return line;
        spaces = std::string_view::npos;
    }
    return line.substr(0, spaces);
}

bool isSpecial(char c)
{
    return c == '*' || c == '?' || c == '[' || c == '\\';
}

bool isLiteral(std::string_view text)
{
    return std::none_of(text.begin(), text.end(), isSpecial);
}

// The cheapest form that answers as the whole glob does. The suffix and
// prefix forms hold only for a last name, which has no '/' for '*' to stop at.
void compile(Pattern &pattern)
{
    const std::string_view glob = pattern.glob;
    if (isLiteral(glob)) {
        pattern.form = Pattern::Form::Literal;
        pattern.literal = glob;
    } else if (pattern.nameOnly && glob.starts_with('*') && isLiteral(glob.substr(1))) {
        pattern.form = Pattern::Form::Suffix;
        pattern.literal = glob.substr(1);
    } else if (pattern.nameOnly && glob.ends_with('*') && isLiteral(glob.substr(0, glob.size() - 1))) {
        pattern.form = Pattern::Form::Prefix;
        pattern.literal = glob.substr(0, glob.size() - 1);
    }
}

char folded(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same(std::string_view a, std::string_view b, bool ignoreCase)
{
    if (!ignoreCase)
        return a == b;
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return folded(x) == folded(y); });
}

bool matches(const Pattern &pattern, std::string_view text, bool ignoreCase)
{
    const std::string_view literal = pattern.literal;
    switch (pattern.form) {
    case Pattern::Form::Literal:
        return same(literal, text, ignoreCase);
    case Pattern::Form::Suffix:
        return text.size() >= literal.size() && same(literal, text.substr(text.size() - literal.size()), ignoreCase);
    case Pattern::Form::Prefix:
        return text.size() >= literal.size() && same(literal, text.substr(0, literal.size()), ignoreCase);
    case Pattern::Form::Wildcards:
        break;
    }
    return wildmatch(pattern.glob, text, !pattern.nameOnly, ignoreCase);
}

} // namespace

void PatternList::addLine(std::string_view line)
{
    line = line.substr(0, line.find('\0'));
    if (line.empty() || line[0] == '#')
        return;
    // Spaces go first, so that "dir/ " is the directory pattern "dir/".
    std::string_view text = trimTrailingSpaces(line);
    Pattern pattern;
    if (text.starts_with('!')) {
        pattern.negative = true;
        text.remove_prefix(1);
    }
    if (text.ends_with('/')) {
        pattern.directoryOnly = true;
        text.remove_suffix(1);
    }
    pattern.nameOnly = text.find('/') == std::string_view::npos;
    // A '/' in front or within anchors the pattern at the list's directory.
    if (!pattern.nameOnly && text.starts_with('/'))
        text.remove_prefix(1);
    if (text.empty())
        return; // matches no name
    pattern.glob = text;
    compile(pattern);
    patterns_.push_back(std::move(pattern));
}

void PatternList::addLines(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        addLine(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

Verdict PatternList::verdict(std::string_view path, std::string_view name, bool directory, bool ignoreCase) const
{
    for (auto pattern = patterns_.rbegin(); pattern != patterns_.rend(); ++pattern) {
        if (pattern->directoryOnly && !directory)
            continue;
        if (matches(*pattern, pattern->nameOnly ? name : path, ignoreCase))
            return pattern->negative ? Verdict::Included : Verdict::Excluded;
    }
    return Verdict::None;
}

int readRulesFile(int at, const std::string &path, bool noFollow, PatternList &list)
{
    const int fd = openat(at, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    struct stat status;
    int error = fstat(fd, &status) != 0 ? errno : 0;
    std::string text;
    if (error == 0 && S_ISREG(status.st_mode))
        error = readWhole(fd, text, MOST_RULES_BYTES);
    close(fd);
    if (error == 0)
        list.addLines(text);
    return error;
}

} // namespace cli::ignore
