// The forms of --format end to end, a table per form, each on the same odd
// names: a space and ',', '%', '#', '?', ':' in one, a newline, a leading
// '-', a byte that is not UTF-8, and an absolute path. Each name stays one
// record that names its file. The reports for CI services are run from a
// subdirectory of a work tree and give paths from its top; outside a work
// tree, from the current directory. A log of SARIF is kept for the
// validator of CI when CMEASURE_SARIF_LOGS names a directory.
#include "program.h"

namespace {

// Run in the directory the case makes: a work tree with the odd names in
// sub/, each a line of 7 symbols, the 6th ('b') at column 8.
const std::string ODD_NAMES =
    "git init -q . && mkdir sub && for name in 'sp ace,%#?:.c' \"$(printf 'nl\\nx.c')\" -lead.c "
    "\"$(printf 'bad\\377.c')\"; do printf 'int a, b;\\n' > \"sub/$name\"; done";

// Keeps the log `file` under `name` for the validator.
std::string keepLog(const std::string &file, const std::string &name)
{
    return "; [ -z \"$CMEASURE_SARIF_LOGS\" ] || cp " + file + " \"$CMEASURE_SARIF_LOGS/" + name + ".sarif\"";
}

const std::string LIMIT = " --max-symbols=5";

// 300 files of 10 lines, each over a limit of 0: about 1 MB of SARIF, 0.6 MB
// for GitLab, written in blocks of 64 KiB, under a limit on the file's size
// (100 KiB in dash's blocks of 512 bytes; SIGXFSZ ignored, so that the write
// fails with EFBIG) that cuts the report after a block: the report keeps
// the whole blocks written before, closed, and a SARIF log says that the
// run did not end well.
const std::string MANY_FILES = "mkdir t && for i in $(seq 300); do seq 10 > t/$i.c; done; ";

INSTANTIATE_TEST_SUITE_P(FormatGithub, ProgramTest, testing::Values(
    Case{.name = "OddNamesEscapedPathsFromTheTop",
         .expected = "::error file=sub/-lead.c,line=1,col=8,title=cmeasure::7 symbols (limit 5)\n"
                     "::error file=sub/bad\\xff.c,line=1,col=8,title=cmeasure::7 symbols (limit 5)\n"
                     "::error file=sub/nl%0Ax.c,line=1,col=8,title=cmeasure::7 symbols (limit 5)\n"
                     "::error file=sub/sp ace%2C%25#?%3A.c,line=1,col=8,title=cmeasure::7 symbols (limit 5)\n",
         .status = 1,
         .setup = ODD_NAMES,
         .shell = "cd sub && cmeasure --format=github" + LIMIT + " ."},
    Case{.name = "AbsoluteAndDotDotPathsBelowTheTop",
         .expected = "::error file=sub/-lead.c,line=1,col=8,title=cmeasure::7 symbols (limit 5)\n"
                     "::error file=sub/-lead.c,line=1,col=8,title=cmeasure::7 symbols (limit 5)\n",
         .status = 1,
         .setup = ODD_NAMES + " && mkdir sub/deeper",
         .shell = "cd sub/deeper && cmeasure --format=github" + LIMIT + " \"$PWD/../-lead.c\" ../../sub/./-lead.c"},
    // Characters, not bytes: the 4th symbol is 'z', after three of two bytes.
    Case{.name = "ColumnInCharacters",
         .args = {"--format=github", "--max-symbols=3", "-"},
         .input = "\xc3\xa9\xc3\xa9 \xc3\xa9z\n",
         .expected = "::error file=-,line=1,col=5,title=cmeasure::4 symbols (limit 3)\n",
         .status = 1},
    Case{.name = "AllowedLineLeftOut",
         .args = {"--format=github", "--max-symbols=3", "-"},
         .input = "int a; // cmeasure: allow\n",
         .expected = "",
         .errors = "cmeasure: 1 line over the limit allowed by 'cmeasure: allow'\n"}
), caseName);

INSTANTIATE_TEST_SUITE_P(FormatGitlab, ProgramTest, testing::Values(
    Case{.name = "WriteErrorMidwayLeavesAClosedArray",
         .expected = "true\n",
         .errors = "cmeasure: write error: File too large\n",
         .status = 1,
         .shell = MANY_FILES + "(trap '' XFSZ; ulimit -f 200; cmeasure --format=gitlab --max-symbols=0 t > log); "
                  "s=$?; jq -c 'length | . > 100 and . < 3000' log; exit $s"},
    // The same lines as GitHub's, each fingerprint its own, and all of them
    // the same in another run from another directory.
    Case{.name = "OddNamesOneIssueEachPathsFromTheTop",
         .expected = "[\"sub/-lead.c\",1,\"max-symbols\",\"major\",\"7 symbols (limit 5)\"]\n"
                     "[\"sub/bad\\\\xff.c\",1,\"max-symbols\",\"major\",\"7 symbols (limit 5)\"]\n"
                     "[\"sub/nl\\nx.c\",1,\"max-symbols\",\"major\",\"7 symbols (limit 5)\"]\n"
                     "[\"sub/sp ace,%#?:.c\",1,\"max-symbols\",\"major\",\"7 symbols (limit 5)\"]\n4\n",
         .status = 0,
         .setup = ODD_NAMES,
         .shell = "(cd sub && cmeasure --format=gitlab" + LIMIT + " .) > a; cmeasure --format=gitlab" + LIMIT +
                  " sub > b; cmp a b && jq -c '.[] | [.location.path, .location.lines.begin, .check_name, "
                  ".severity, .description]' a && jq '[.[].fingerprint] | unique | length' a"},
    // A fingerprint follows the line's text, not its number.
    Case{.name = "FingerprintStaysWhenLinesAboveMove",
         .expected = "true\n",
         .shell = "printf 'int a, b;\\n' > a.c && cmeasure --format=gitlab" + LIMIT + " a.c > one; "
                  "printf '\\n\\nint a, b;\\n' > a.c && cmeasure --format=gitlab" + LIMIT + " a.c > two; "
                  "jq -n '[input, input] | .[0][0].fingerprint == .[1][0].fingerprint and .[1][0].location.lines.begin == 3' one two"},
    Case{.name = "NothingOverIsAnEmptyArray",
         .args = {"--format=gitlab", "--max-symbols=9", "-"},
         .input = "int a;\n",
         .expected = "[\n\n]\n"},
    Case{.name = "ClosedAfterAReadError",
         .expected = "1\n",
         .errors = "cmeasure: /proc/self/mem: Input/output error\n",
         .status = 1,
         .shell = "printf 'int a, b;\\n' > a.c && cmeasure --format=gitlab" + LIMIT + " a.c /proc/self/mem > r; "
                  "s=$?; jq length r && exit $s"},
    Case{.name = "WriteErrorFails",
         .expected = "",
         .errors = "cmeasure: write error: No space left on device\n",
         .status = 1,
         .shell = "printf 'int a, b;\\n' > a.c && cmeasure --format=gitlab" + LIMIT + " a.c > /dev/full"}
), caseName);

INSTANTIATE_TEST_SUITE_P(FormatSarif, ProgramTest, testing::Values(
    Case{.name = "WriteErrorMidwayLeavesAClosedLog",
         .expected = "[true,false]\n",
         .errors = "cmeasure: write error: File too large\n",
         .status = 1,
         .shell = MANY_FILES + "(trap '' XFSZ; ulimit -f 200; cmeasure --format=sarif --max-symbols=0 t > log); "
                  "s=$?; jq -c '[(.runs[0].results | length | . > 100 and . < 3000), "
                  ".runs[0].invocations[0].executionSuccessful]' log; exit $s"},
    // While the closing is kept after what is written, a file holds in
    // the end what a pipe is given, and text before it in a file opened
    // to append stays.
    Case{.name = "ToAFileAsToAPipeAndAfterWhatAFileHeld",
         .expected = "",
         .shell = MANY_FILES + "cmeasure --format=sarif --max-symbols=0 -j 4 t | cat > pipe; cmeasure --format=sarif "
                  "--max-symbols=0 -j 4 t > file; echo before > appended; cmeasure --format=sarif --max-symbols=0 t "
                  ">> appended; cmp pipe file && (echo before; cat file) | cmp - appended"},
    Case{.name = "OddNamesPercentEncodedFromTheTop",
         .expected = "true\n[\"sub/-lead.c\",\"%SRCROOT%\",8,\"sub/bad%FF.c\",\"%SRCROOT%\",8,\"sub/nl%0Ax.c\",\"%SRCROOT%\",8,"
                     "\"sub/sp%20ace%2C%25%23%3F%3A.c\",\"%SRCROOT%\",8]\n",
         .status = 0,
         .setup = ODD_NAMES,
         .shell = "cd sub && cmeasure --format=sarif" + LIMIT + " . > ../log" + keepLog("../log", "OddNames") +
                  "; cd .. && jq -c '.runs[0] | (.originalUriBaseIds[\"%SRCROOT%\"].uri == \"file://\" + env.PWD + \"/\"), "
                  "[.results[].locations[0].physicalLocation | .artifactLocation.uri, .artifactLocation.uriBaseId, "
                  ".region.startColumn]' log"},
    // Outside a work tree: from the directory it ran in, and a path above it
    // absolute.
    Case{.name = "OutsideAWorkTreeFromTheCurrentDirectory",
         .expected = "true\n[\"ROOT/d/a.c\",null,\"b.c\",\"%SRCROOT%\"]\n",
         .status = 0,
         .setup = "mkdir -p d/e && printf 'int a, b;\\n' > d/a.c && cp d/a.c d/e/b.c",
         .shell = "cd d/e && GIT_CEILING_DIRECTORIES=$(dirname \"$PWD\") cmeasure --format=sarif" + LIMIT +
                  " ../a.c b.c > log" + keepLog("log", "OutsideAWorkTree") +
                  "; jq -c '.runs[0] | (.originalUriBaseIds[\"%SRCROOT%\"] | .uri == \"file://\" + env.PWD + \"/\" and "
                  "(.description.text | test(\"directory\"))), [.results[].locations[0].physicalLocation.artifactLocation | "
                  "(.uri | sub(\"^file://\" + (env.PWD | sub(\"/d/e$\"; \"\")); \"ROOT\")), .uriBaseId]' log"},
    Case{.name = "ClosedAfterAReadError",
         .expected = "false\n",
         .errors = "cmeasure: /proc/self/mem: Input/output error\n",
         .status = 1,
         .shell = "printf 'int a, b;\\n' > a.c && cmeasure --format=sarif" + LIMIT + " a.c /proc/self/mem > r; "
                  "s=$?; jq '.runs[0].invocations[0].executionSuccessful' r && exit $s"}
), caseName);

INSTANTIATE_TEST_SUITE_P(FormatCsv, ProgramTest, testing::Values(
    Case{.name = "OddNamesQuotedWhereTheyMustBe",
         .expected = "path,lines,line_with_max_symbols,max_symbols,identifiers,code_lines,comment_lines,blank_lines,files,directory,total\n"
                     "sub/-lead.c,1,1,7,3,1,0,0,,,\nsub/bad\\xff.c,1,1,7,3,1,0,0,,,\n\"sub/nl\nx.c\",1,1,7,3,1,0,0,,,\n"
                     "\"sub/sp ace,%#?:.c\",1,1,7,3,1,0,0,,,\nsub/-lead.c,4,1,7,12,4,0,0,4,,true\n",
         .setup = ODD_NAMES + " && cp \"$PWD/sub/-lead.c\" /tmp/cmeasure-abs-$$.c",
         .shell = "cmeasure --format=csv sub | tr -d '\\r'"},
    Case{.name = "RecordsEndInCrLfDirectoryRows",
         .args = {"--format=csv", "-d", "0", "t"},
         .expected = "path,lines,line_with_max_symbols,max_symbols,identifiers,code_lines,comment_lines,blank_lines,files,directory,total\r\n"
                     "t/a.c,1,1,1,1,1,0,0,1,t,\r\nt/a.c,1,1,1,1,1,0,0,1,,true\r\n",
         .setup = "mkdir t && printf 'x\\n' > t/a.c"},
    Case{.name = "NothingMeasuredIsAHeaderAndATotal",
         .args = {"--format=csv", "t"},
         .expected = "path,lines,line_with_max_symbols,max_symbols,identifiers,code_lines,comment_lines,blank_lines,files,directory,total\r\n,0,0,0,0,0,0,0,0,,true\r\n",
         .setup = "mkdir t"}
), caseName);

INSTANTIATE_TEST_SUITE_P(FormatMarkdown, ProgramTest, testing::Values(
    Case{.name = "OddNamesInCodeSpans",
         .args = {"--format=markdown", "sub"},
         .expected = "| lines | densest_line | max_symbols | identifiers | code | comment | blank | path |\n"
                     "| ---: | ---: | ---: | ---: | ---: | ---: | ---: | :--- |\n"
                     "| 1 | 1 | 7 | 3 | 1 | 0 | 0 | `sub/-lead.c` |\n"
                     "| 1 | 1 | 1 | 1 | 1 | 0 | 0 | ``sub/a\\|`b`.c`` |\n"
                     "| 1 | 1 | 7 | 3 | 1 | 0 | 0 | `sub/bad\\xff.c` |\n"
                     "| 1 | 1 | 7 | 3 | 1 | 0 | 0 | `sub/nl\\nx.c` |\n"
                     "| 1 | 1 | 7 | 3 | 1 | 0 | 0 | `sub/sp ace,%#?:.c` |\n"
                     "| 5 | 1 | 7 | 13 | 5 | 0 | 0 | total of 5 files; densest line in `sub/-lead.c` |\n",
         .setup = ODD_NAMES + " && printf 'x\\n' > 'sub/a|`b`.c'"},
    Case{.name = "SummaryRow",
         .args = {"--format=markdown", "-s", "t"},
         .expected = "| lines | densest_path:line | max_symbols | identifiers | code | comment | blank | path |\n"
                     "| ---: | :--- | ---: | ---: | ---: | ---: | ---: | :--- |\n"
                     "| 1 | `t/a.c`:1 | 1 | 1 | 1 | 0 | 0 | `t/` (1 file) |\n",
         .setup = "mkdir t && printf 'x\\n' > t/a.c"},
    Case{.name = "NothingMeasuredSaysSo",
         .args = {"--format=markdown", "t"},
         .expected = "",
         .errors = "cmeasure: no file measured\n",
         .setup = "mkdir t"}
), caseName);

} // namespace
