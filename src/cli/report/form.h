// The forms of the output a run may be asked for (--format).
#pragma once

namespace cli {

// The figures (and --list) come as a table, JSON Lines, CSV or Markdown;
// the report of --max-symbols as a compiler's diagnostics (Text), JSON
// Lines, a SARIF log, GitHub's workflow commands or GitLab's Code Quality
// report.
enum class Form { Table, Json, Csv, Markdown, Text, Sarif, Github, Gitlab };

} // namespace cli
