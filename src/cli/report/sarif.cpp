#include "report/sarif.h"

#include "report/format.h"

namespace cli {

namespace sarif {

namespace {

// Where the log's reader learns more about the tool; the build may name
// another (CMEASURE_INFORMATION_URI). Only a page the build names is given
// as each rule's help page too (CMEASURE_HELP_URI, else empty).
constexpr std::string_view INFORMATION_URI = CMEASURE_INFORMATION_URI;
constexpr std::string_view HELP_URI = CMEASURE_HELP_URI;

// The key of a result's fingerprint: the hash of its line's symbols, which
// keeps a finding the same when lines above it move. Versioned, as its
// meaning must not change under the same name.
constexpr std::string_view FINGERPRINT_KEY = "symbolsHash/v1";

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// Every value this log holds is UTF-8 (URIs are ASCII once encoded), so the
// JSON path writer gives it as a string, escaped.
void appendString(std::string &out, std::string_view text)
{
    appendJsonPath(out, text);
}

void appendRule(std::string &out, const Rule &rule, Count limit)
{
    out += "{\"id\": ";
    appendString(out, rule.id);
    out += ", \"name\": ";
    appendString(out, rule.name);
    out += ", \"shortDescription\": {\"text\": ";
    appendString(out, rule.summary);
    out += "}, \"fullDescription\": {\"text\": ";
    appendString(out, rule.description);
    out += "}, \"help\": {\"text\": ";
    appendString(out, rule.helpText);
    out += ", \"markdown\": ";
    appendString(out, rule.helpMarkdown);
    out += '}';
    if (!HELP_URI.empty()) {
        out += ", \"helpUri\": ";
        appendString(out, HELP_URI);
    }
    out += ", \"defaultConfiguration\": {\"level\": \"error\"}, \"properties\": {\"limit\": ";
    appendNumber(out, limit);
    out += "}}";
}

class Log : public Format {
public:
    Log(Count limit, const SourceRoot &root) : limit_(limit), root_(root) {}

    // One run whose tool is this program, its version and the rules, the
    // limit among each rule's properties; then the results array is open.
    void header(std::string &out) override
    {
        out += "{\"$schema\": \"https://docs.oasis-open.org/sarif/sarif/v2.1.0/errata01/os/schemas/"
               "sarif-schema-2.1.0.json\", \"version\": \"2.1.0\", \"runs\": [{\"tool\": {\"driver\": "
               "{\"name\": \"cmeasure\", \"version\": ";
        appendString(out, CMEASURE_VERSION);
        out += ", \"informationUri\": ";
        appendString(out, INFORMATION_URI);
        out += ", \"rules\": [";
        for (const Rule &rule : rules()) {
            if (&rule != &rules().front())
                out += ", ";
            appendRule(out, rule, limit_);
        }
        // Relative URIs are below %SRCROOT%, which a viewer may map to
        // where it keeps the sources.
        out += "]}}, \"automationDetails\": {\"id\": \"cmeasure/\"}, \"originalUriBaseIds\": {\"%SRCROOT%\": "
               "{\"uri\": ";
        appendString(out, uriOf(root_.top));
        out += ", \"description\": {\"text\": ";
        appendString(out, root_.workTree ? "The top of the git work tree" : "The directory cmeasure ran in");
        // The region's column counts characters (code points), as editors
        // and code scanning pages count them, not the bytes of the text
        // diagnostics.
        out += "}}}, \"columnKind\": \"unicodeCodePoints\", \"results\": [\n";
    }

    // The artifactLocation object, the same for every result of a file.
    std::string fileName(std::string_view path) const override
    {
        const std::string relative = root_.relative(path);
        std::string location = "{\"uri\": ";
        appendString(location, uriOf(relative));
        if (!relative.starts_with('/'))
            location += ", \"uriBaseId\": \"%SRCROOT%\"";
        location += '}';
        return location;
    }

    // An allowed line is written as suppressed in the source.
    void finding(std::string &out, std::string_view location, const Finding &finding) const override
    {
        const Rule &rule = rules()[finding.rule];
        out += separator();
        out += "{\"ruleId\": ";
        appendString(out, rule.id);
        out += ", \"ruleIndex\": ";
        appendNumber(out, static_cast<Count>(finding.rule));
        out += ", \"level\": \"error\", \"message\": {\"text\": \"";
        rule.message(out, finding);
        out += "\"}, \"locations\": [{\"physicalLocation\": {\"artifactLocation\": ";
        out += location;
        appendLineAndColumn(out, finding, ", \"region\": {\"startLine\": ", ", \"startColumn\": ");
        out += "}}}], \"partialFingerprints\": {";
        appendString(out, FINGERPRINT_KEY);
        out += ": \"";
        appendHexHash(out, finding.textHash);
        out += "\"}";
        if (finding.allowed)
            out += ", \"suppressions\": [{\"kind\": \"inSource\"}]";
        out += '}';
    }

    bool showsAllowed() const override { return true; }
    bool fingerprints() const override { return true; }

    // Each result starts with the separator, since a worker cannot know
    // whether another file's result came before.
    std::string_view separator() const override { return ",\n"; }

    // The rest of the document. When a path could not be read the run's
    // invocation says so, and viewers show the log as incomplete.
    void close(std::string &out, bool successful) const override
    {
        out += "\n], \"invocations\": [{\"executionSuccessful\": ";
        out += successful ? "true" : "false";
        out += "}]}]}\n";
    }

private:
    Count limit_;
    const SourceRoot &root_;
};

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

} // namespace sarif

std::unique_ptr<Format> makeSarif(Count limit, const SourceRoot &root)
{
    return std::make_unique<sarif::Log>(limit, root);
}

} // namespace cli
