// The gate's findings in the form compilers give diagnostics, which editors
// and CI annotations parse, "PATH:LINE:COLUMN: MESSAGE", and as JSON Lines.
// The column counts bytes, as compilers count it.
#include "report/format.h"

namespace cli {

namespace {

class TextFindings : public Format {
public:
    std::string fileName(std::string_view path) const override { return printablePath(path); }

    void finding(std::string &out, std::string_view name, const Finding &finding) const override
    {
        out += name;
        char text[2 * NUMBER_DIGITS + 4];
        char *end = text;
        *end++ = ':';
        end = writeNumber(end, finding.line);
        *end++ = ':';
        end = writeNumber(end, finding.column);
        *end++ = ':';
        *end++ = ' ';
        out.append(text, end);
        rules()[finding.rule].message(out, finding);
        out += '\n';
    }
};

class JsonFindings : public Format {
public:
    std::string fileName(std::string_view path) const override
    {
        std::string name;
        appendJsonPath(name, path);
        return name;
    }

    void finding(std::string &out, std::string_view name, const Finding &finding) const override
    {
        out += "{\"path\": ";
        out += name;
        appendJsonField(out, "line", finding.line);
        appendJsonField(out, "column", finding.column);
        appendJsonField(out, "symbols", finding.symbols);
        appendJsonField(out, "limit", finding.limit);
        out += "}\n";
    }
};

} // namespace

std::unique_ptr<Format> makeTextFindings()
{
    return std::make_unique<TextFindings>();
}

std::unique_ptr<Format> makeJsonFindings()
{
    return std::make_unique<JsonFindings>();
}

} // namespace cli
