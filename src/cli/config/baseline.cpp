#include "config/baseline.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "find/opening.h"
#include "option_values.h"
#include "report/output.h"

namespace cli::config {

namespace {

// A baseline holds what a tree's lines over the limit hold; far more than a
// tree of debt would need, and bounded so that a wrong file cannot take the
// memory.
constexpr std::size_t MOST_BASELINE_BYTES = std::size_t{256} << 20;

int hexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Undoes printablePath's escapes; false on one it never writes.
bool unescaped(std::string_view text, std::string &out)
{
    out.clear();
    for (std::size_t k = 0; k < text.size(); k++) {
        if (text[k] != '\\') {
            out += text[k];
            continue;
        }
        const char next = k + 1 < text.size() ? text[k + 1] : '\0';
        if (next == '\\' || next == 'n' || next == 't' || next == 'r') {
            out += next == '\\' ? '\\' : next == 'n' ? '\n' : next == 't' ? '\t' : '\r';
            k++;
        } else if (next == 'x' && k + 3 < text.size() && hexValue(text[k + 2]) >= 0 && hexValue(text[k + 3]) >= 0) {
            out += static_cast<char>(hexValue(text[k + 2]) * 16 + hexValue(text[k + 3]));
            k += 3;
        } else {
            return false;
        }
    }
    return true;
}

std::string at(const std::string &path, std::size_t line, std::string_view what)
{
    return joined({path, ":", std::to_string(line), ": ", what});
}

// The lines of a baseline's text, checked: its version first, its end
// last, and each entry a path and a text whose file is still there.
bool readEntries(const std::string &path, std::string_view text, const std::string &directory,
                 std::vector<std::pair<std::string, std::string>> &entries, std::string &error)
{
    std::size_t line = 0;
    bool ended = false;
    std::string key;
    std::string lineText;
    while (!text.empty()) {
        line++;
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos || ended) {
            error = at(path, line, ended ? "text after the end of the baseline" : "truncated: the line has no end");
            return false;
        }
        const std::string_view content = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (line == 1 && content != BASELINE_HEADER) {
            error = at(path, line, content.starts_with("# cmeasure baseline ")
                                       ? "a baseline of another version, which this cmeasure does not read"
                                       : "not a cmeasure baseline");
            return false;
        }
        ended = content == BASELINE_END;
        if (line == 1 || ended || content.starts_with('#'))
            continue;
        const std::size_t tab = content.find('\t');
        if (tab == std::string_view::npos || !unescaped(content.substr(0, tab), key) || key.empty() ||
            !unescaped(content.substr(tab + 1), lineText)) {
            error = at(path, line, "not an entry: a path, a tab, then the text of a line");
            return false;
        }
        if (entries.empty() || entries.back().first != key) {
            struct stat status {};
            const std::string file = key.starts_with('/') ? key : directory + key;
            if (lstat(file.c_str(), &status) != 0) {
                error = at(path, line, joined({quoted(key), " no longer exists: write the baseline again with --write-baseline"}));
                return false;
            }
        }
        entries.emplace_back(key, lineText);
    }
    if (!ended)
        error = at(path, line, "truncated: the baseline has no end line");
    return ended;
}

// Lines of `fd` from its start, each passed to `take` with its number and
// text (a CR before its LF left out), until `take` returns false.
template <typename Take> bool forEachLine(int fd, Take take)
{
    char block[1 << 16];
    std::string line;
    Count number = 1;
    for (off_t offset = 0;;) {
        const ssize_t got = pread(fd, block, sizeof block, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        offset += got;
        for (std::string_view rest(block, static_cast<std::size_t>(got)); !rest.empty();) {
            const std::size_t end = rest.find('\n');
            line.append(rest.substr(0, end));
            if (end == std::string_view::npos)
                break;
            rest.remove_prefix(end + 1);
            if (line.ends_with('\r'))
                line.pop_back();
            if (!take(number++, line))
                return true;
            line.clear();
        }
    }
    if (!line.empty())
        take(number, line);
    return true;
}

} // namespace

std::unique_ptr<Baseline> Baseline::read(const std::string &path, std::string &error)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status {};
    std::string text;
    int failure = fd < 0 ? errno : fstat(fd, &status) != 0 ? errno : S_ISDIR(status.st_mode) ? EISDIR : 0;
    if (failure == 0 && !S_ISREG(status.st_mode)) {
        close(fd);
        error = joined({path, ": not a regular file"});
        return nullptr;
    }
    if (failure == 0)
        failure = readWhole(fd, text, MOST_BASELINE_BYTES);
    if (fd >= 0)
        close(fd);
    if (failure != 0) {
        error = joined({path, ": ", std::strerror(failure)});
        return nullptr;
    }
    auto baseline = std::make_unique<Baseline>();
    const std::size_t slash = path.rfind('/');
    char *real = realpath(slash == std::string::npos ? "." : path.substr(0, slash + 1).c_str(), nullptr);
    baseline->directory_ = real == nullptr ? std::string() : std::string(real) + (real[1] == '\0' ? "" : "/");
    free(real);
    if (!readEntries(path, text, baseline->directory_, baseline->entries_, error))
        return nullptr;
    std::sort(baseline->entries_.begin(), baseline->entries_.end());
    return baseline;
}

std::string Baseline::keyOf(std::string_view canonical, std::string_view directory)
{
    if (!directory.empty() && canonical.starts_with(directory))
        canonical.remove_prefix(directory.size());
    return std::string(canonical);
}

std::vector<std::string_view> Baseline::linesOf(std::string_view key) const
{
    std::vector<std::string_view> texts;
    auto entry = std::lower_bound(entries_.begin(), entries_.end(), key,
                                  [](const auto &e, std::string_view k) { return e.first < k; });
    for (; entry != entries_.end() && entry->first == key; ++entry)
        texts.push_back(entry->second);
    return texts;
}

bool BaselineMatch::readLines(int fd, std::vector<std::string_view> texts)
{
    for (std::size_t k = 0; k < texts.size(); k++) {
        if (texts_.empty() || texts_.back() != texts[k]) {
            texts_.emplace_back(texts[k]);
            remaining_.push_back(0);
        }
        remaining_.back()++;
    }
    return forEachLine(fd, [this](Count number, const std::string &line) {
        const auto found = std::lower_bound(texts_.begin(), texts_.end(), line);
        if (found != texts_.end() && *found == line)
            lineTexts_.emplace(number, static_cast<std::size_t>(found - texts_.begin()));
        return true;
    });
}

bool BaselineMatch::take(Count line)
{
    const auto found = lineTexts_.find(line);
    if (found == lineTexts_.end() || remaining_[found->second] == 0)
        return false;
    remaining_[found->second]--;
    return true;
}

Count BaselineMatch::left() const
{
    Count left = 0;
    for (const Count count : remaining_)
        left += count;
    return left;
}

bool readLineTexts(int fd, const std::vector<Count> &lines, std::vector<std::string> &texts)
{
    std::size_t next = 0;
    return !lines.empty() && forEachLine(fd, [&](Count number, const std::string &line) {
        if (next < lines.size() && lines[next] == number) {
            texts.push_back(line);
            next++;
        }
        return next < lines.size();
    }) && texts.size() == lines.size();
}

int writeBaseline(const std::string &path, std::vector<std::pair<std::string, std::string>> entries)
{
    std::sort(entries.begin(), entries.end());
    std::string text = joined({BASELINE_HEADER, "\n"});
    for (const auto &[key, line] : entries)
        text += joined({printablePath(key), "\t", printablePath(line), "\n"});
    text += joined({BASELINE_END, "\n"});
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    int error = 0;
    for (std::string_view rest = text; !rest.empty() && error == 0;) {
        const ssize_t wrote = write(fd, rest.data(), rest.size());
        if (wrote < 0 && errno != EINTR)
            error = errno;
        else if (wrote > 0)
            rest.remove_prefix(static_cast<std::size_t>(wrote));
    }
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        unlink(temporary.c_str());
    return error;
}

} // namespace cli::config
