// Git's glob matching (wildmatch), as its ignore patterns use it.
#pragma once

#include <string_view>

namespace cli {

// True when `text` matches `pattern`. '?' matches one character, '*' any
// run of them, '[...]' one of a set (ranges, POSIX classes such as
// [:alpha:], negation by a leading '!' or '^'), and a backslash makes the
// next character literal. With `pathname`, '?', '*' and sets never match
// '/', while "**" between slashes (or at either end) matches any number of
// whole directories. A zero byte in `pattern` ends it, as in git. With
// `ignoreCase`, an ASCII letter of the text matches its other case, but a
// set's plain members are compared as written (only ranges and classes
// fold), which is what users of a case-insensitive repository get from git.
// The time is bounded by pattern length × text length², whatever the
// pattern: what was tried from one position of each is remembered.
bool wildmatch(std::string_view pattern, std::string_view text, bool pathname, bool ignoreCase = false);

} // namespace cli
