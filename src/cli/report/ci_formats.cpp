// The gate's findings in the forms CI services read without a code
// scanning service: GitHub's workflow commands, which annotate the lines of
// a pull request, and GitLab's Code Quality report, which a merge request's
// widget reads. Paths are below the top of the work tree, as both resolve
// them; a name that is not UTF-8 is written as the table prints it, since
// neither form has a way to give its bytes.
#include "report/format.h"

namespace cli {

namespace {

// GitHub's escaping of a workflow command: '%', CR and LF in its message,
// and ':' and ',' too in the value of a property, where they would end it.
void appendEscaped(std::string &out, std::string_view text, bool property)
{
    for (const char c : text) {
        if (c == '%')
            out += "%25";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else if (property && c == ':')
            out += "%3A";
        else if (property && c == ',')
            out += "%2C";
        else
            out += c;
    }
}

// "::error file=PATH,line=L,col=C,title=cmeasure::MESSAGE", one line per
// finding; the column in characters, as the pull request shows the line.
class Github : public Format {
public:
    explicit Github(const SourceRoot &root) : root_(root) {}

    std::string fileName(std::string_view path) const override
    {
        std::string name;
        appendEscaped(name, utf8OrPrintable(root_.relative(path)), true);
        return name;
    }

    void finding(std::string &out, std::string_view name, const Finding &finding) const override
    {
        out += "::error file=";
        out += name;
        appendLineAndColumn(out, finding, ",line=", ",col=");
        out += ",title=cmeasure::";
        std::string message;
        rules()[finding.rule].message(message, finding);
        appendEscaped(out, message, false);
        out += '\n';
    }

private:
    const SourceRoot &root_;
};

// A JSON array of issues, each with a fingerprint that stays while the
// line's text does: a hash of the rule, the path and the line's symbols.
// Written as it goes, as a SARIF log is, and closed after an error too.
class Gitlab : public Format {
public:
    explicit Gitlab(const SourceRoot &root) : root_(root) {}

    bool fingerprints() const override { return true; }

    void header(std::string &out) override { out += "[\n"; }

    // The location object's path, then the path's part of the fingerprint.
    std::string fileName(std::string_view path) const override
    {
        const std::string relative = utf8OrPrintable(root_.relative(path));
        std::string name;
        appendJsonPath(name, relative);
        name += '\0';
        std::uint64_t hash = crules::TEXT_HASH_START;
        for (const char c : relative)
            hash = (hash ^ static_cast<unsigned char>(c)) * crules::TEXT_HASH_PRIME;
        appendHexHash(name, hash);
        return name;
    }

    void finding(std::string &out, std::string_view name, const Finding &finding) const override
    {
        const Rule &rule = rules()[finding.rule];
        const std::size_t end = name.find('\0');
        out += separator();
        out += "{\"description\": \"";
        rule.message(out, finding);
        out += "\", \"check_name\": ";
        appendJsonPath(out, rule.id);
        out += ", \"fingerprint\": \"";
        out += name.substr(end + 1);
        appendHexHash(out, finding.textHash);
        out += "\", \"severity\": \"major\", \"location\": {\"path\": ";
        out += name.substr(0, end);
        out += ", \"lines\": {\"begin\": ";
        appendNumber(out, finding.line);
        out += "}}}";
    }

    std::string_view separator() const override { return ",\n"; }

    void close(std::string &out, bool /*successful*/) const override { out += "\n]\n"; }

private:
    const SourceRoot &root_;
};

} // namespace

std::unique_ptr<Format> makeGithub(const SourceRoot &root)
{
    return std::make_unique<Github>(root);
}

std::unique_ptr<Format> makeGitlab(const SourceRoot &root)
{
    return std::make_unique<Gitlab>(root);
}

} // namespace cli
