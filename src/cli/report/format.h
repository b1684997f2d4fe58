// The form of what a run writes, behind one interface: the writers (writer.h,
// gate.h) decide what is written and when, a format only how. Its kinds:
// the figures as a table or as JSON Lines (figures_formats.cpp), as CSV or
// Markdown (sheet_formats.cpp); the gate's findings as a compiler's
// diagnostics or JSON Lines (findings_formats.cpp), as a SARIF log
// (sarif.cpp), as GitHub's workflow commands or GitLab's Code Quality
// report (ci_formats.cpp). A kind writes what it has a form for and leaves
// the rest; one is chosen for a run, from the options (commandline.cpp).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "report/output.h"
#include "report/rules.h"
#include "report/source_root.h"

namespace cli {

class Format {
public:
    Format() = default;
    virtual ~Format() = default;
    Format(const Format &) = delete;
    Format &operator=(const Format &) = delete;

    // The figures, on the writer's thread.

    // Whether rows wait for the first ones to size the columns (fit, then
    // reserve when more rows are to come than were sized on).
    virtual bool sizesColumns() const { return false; }
    // A row's figures, and the path of the file that holds its densest line.
    virtual void fit(const Figures & /*figures*/, std::string_view /*densestPath*/) {}
    virtual void reserve(const Totals & /*totals*/, int /*digits*/) {}

    // What comes before the first row or finding.
    virtual void header(std::string & /*out*/) {}
    virtual void fileRow(std::string & /*out*/, std::string_view /*path*/, const Figures & /*figures*/) {}
    virtual void directoryRow(std::string & /*out*/, const DirectoryRow & /*row*/) {}
    // The sums of the files read in one of C's dialects (--by-dialect),
    // named as C or C++.
    virtual void dialectRow(std::string & /*out*/, std::string_view /*dialect*/, const Totals & /*sums*/) {}
    // The run's total; true when it was written, so that a run that
    // measured nothing says so.
    virtual bool total(std::string & /*out*/, const Totals & /*totals*/, const TotalNote & /*note*/) { return true; }
    // A path of --list.
    virtual void listed(std::string & /*out*/, std::string_view /*path*/) {}

    // The gate's findings, on the workers' threads at once: nothing changes.

    // A file's path as its findings give it, made once for all of them.
    virtual std::string fileName(std::string_view path) const { return std::string(path); }
    virtual void finding(std::string & /*out*/, std::string_view /*name*/, const Finding & /*finding*/) const {}
    // Whether an allowed finding is written: a SARIF log shows it as
    // suppressed, the others leave it out.
    virtual bool showsAllowed() const { return false; }
    // Whether a finding carries its line's hash, which the scan then makes
    // (4 instructions a byte of every line that goes on past a group of 64).
    virtual bool fingerprints() const { return false; }
    // What each finding starts with when the findings are items of one
    // list; the gate drops it before the first of the run.
    virtual std::string_view separator() const { return {}; }

    // The end of the output, valid after any number of rows or findings.
    // `successful` is false when a path could not be read or the output
    // written. The same whatever came before, so that it may close what a
    // worker wrote too.
    virtual void close(std::string & /*out*/, bool /*successful*/) const {}
};

// The kinds, for the figures (or --list) and for the gate's findings, each
// of which carries its file's limit.
// The table and Markdown give a row of sums (a directory's, a dialect's,
// the total) the file that holds its densest line. With `sums`, the
// densest column of every row reads "path:line", so that no line number is
// taken for one of the directory; otherwise a total names the file apart.
// With `lineClasses` (C's rules), the figures end in the code, comment and
// blank lines, which the menu's rules do not tell apart.
std::unique_ptr<Format> makeTable(bool sums = false, bool lineClasses = false);
std::unique_ptr<Format> makeJsonLines(bool lineClasses = false);
std::unique_ptr<Format> makeTextFindings();
std::unique_ptr<Format> makeJsonFindings();
// With `dialects`, CSV's records end in a field that names a dialect row's
// dialect.
std::unique_ptr<Format> makeCsv(bool dialects = false, bool lineClasses = false);
std::unique_ptr<Format> makeMarkdown(bool sums = false, bool lineClasses = false);
// Those for CI services give paths below `root`, and keep it: it must
// outlive them. A SARIF log's rule gives `limit`, the run's.
std::unique_ptr<Format> makeSarif(Count limit, const SourceRoot &root);
std::unique_ptr<Format> makeGithub(const SourceRoot &root);
std::unique_ptr<Format> makeGitlab(const SourceRoot &root);

} // namespace cli
