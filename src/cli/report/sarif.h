// A SARIF 2.1.0 log of the gate, the format that code scanning services
// (GitHub, GitLab, Azure DevOps) and editors' SARIF viewers read. It is
// written as it goes: the opening once, each file's results as they come,
// then the closing, so that memory stays flat however many results the run
// finds. The format itself is made by makeSarif (format.h).
#pragma once

#include <string>
#include <string_view>

namespace cli::sarif {

// A path as a URI reference: every byte but the unreserved characters of
// RFC 3986 (letters, digits, '-', '.', '_', '~') and '/' is percent-encoded,
// so that any name, UTF-8 or not, makes a valid URI. An absolute path
// becomes a file:// URI.
std::string uriOf(std::string_view path);

} // namespace cli::sarif
