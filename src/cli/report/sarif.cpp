#include "report/sarif.h"

#include <charconv>

#include "report/output.h"

namespace cli::sarif {

namespace {

constexpr std::string_view SEPARATOR = ",\n";

// Where the log's reader learns more about the tool; the build may name
// another (CMEASURE_INFORMATION_URI).
constexpr std::string_view INFORMATION_URI = CMEASURE_INFORMATION_URI;

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

void appendNumber(std::string &out, Count number)
{
    char digits[24];
    const auto [end, failure] = std::to_chars(digits, digits + sizeof digits, number);
    out.append(digits, end);
}

// Every value this log holds is UTF-8 (URIs are ASCII once encoded), so the
// JSON path writer gives it as a string, escaped.
void appendString(std::string &out, std::string_view text)
{
    appendJsonPath(out, text);
}

void appendRule(std::string &out, Count limit)
{
    out += "{\"id\": ";
    appendString(out, RULE_ID);
    out += ", \"name\": \"MaxSymbols\", \"shortDescription\": {\"text\": \"Line over the symbol limit\"}, "
           "\"fullDescription\": {\"text\": \"A line holds more symbols (characters other than spaces) than "
           "the limit given with --max-symbols. Split the line, or, where it is right as it is, put "
           "'cmeasure: allow' in a comment on it.\"}, "
           "\"defaultConfiguration\": {\"level\": \"error\"}, \"properties\": {\"limit\": ";
    appendNumber(out, limit);
    out += "}}";
}

} // namespace

std::string uriOf(std::string_view path)
{
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string uri = path.starts_with('/') ? "file://" : "";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(c) || c == '/')
            uri += c;
        else
            uri.append({'%', DIGITS[byte >> 4], DIGITS[byte & 15]});
    }
    return uri;
}

FileResults::FileResults(std::string_view path, Count limit) : limit_(limit)
{
    location_ = "{\"uri\": ";
    appendString(location_, uriOf(path));
    if (!path.starts_with('/'))
        location_ += ", \"uriBaseId\": \"%SRCROOT%\"";
    location_ += '}';
}

void FileResults::append(std::string &out, const PieceOverLimit &piece, bool allowed) const
{
    out += SEPARATOR;
    out += "{\"ruleId\": ";
    appendString(out, RULE_ID);
    out += ", \"ruleIndex\": 0, \"level\": \"error\", \"message\": {\"text\": \"";
    appendNumber(out, static_cast<Count>(piece.symbols));
    out += " symbols (limit ";
    appendNumber(out, limit_);
    out += ")\"}, \"locations\": [{\"physicalLocation\": {\"artifactLocation\": ";
    out += location_;
    out += ", \"region\": {\"startLine\": ";
    appendNumber(out, piece.line);
    out += ", \"startColumn\": ";
    appendNumber(out, piece.characterColumn);
    out += "}}}]";
    if (allowed)
        out += ", \"suppressions\": [{\"kind\": \"inSource\"}]";
    out += '}';
}

void Log::appendOpening(std::string &out) const
{
    out += "{\"$schema\": \"https://docs.oasis-open.org/sarif/sarif/v2.1.0/errata01/os/schemas/sarif-schema-2.1.0.json\", "
           "\"version\": \"2.1.0\", \"runs\": [{\"tool\": {\"driver\": {\"name\": \"cmeasure\", \"version\": ";
    appendString(out, CMEASURE_VERSION);
    out += ", \"informationUri\": ";
    appendString(out, INFORMATION_URI);
    out += ", \"rules\": [";
    appendRule(out, limit_);
    // The region's column counts characters, as editors and code
    // scanning pages count them, not the bytes of the text diagnostics.
    out += "]}}, \"columnKind\": \"unicodeCodePoints\", \"results\": [\n";
}

std::string_view Log::results(std::string_view results)
{
    if (results.empty())
        return results;
    if (!anyResult_ && results.starts_with(SEPARATOR))
        results.remove_prefix(SEPARATOR.size());
    anyResult_ = true;
    return results;
}

void Log::appendClosing(std::string &out, bool successful)
{
    out += "\n], \"invocations\": [{\"executionSuccessful\": ";
    out += successful ? "true" : "false";
    out += "}]}]}\n";
}

} // namespace cli::sarif
