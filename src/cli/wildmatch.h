// Git's glob matching (wildmatch), as its ignore patterns use it.
#pragma once

#include <string_view>

// True when `text` matches `pattern`. '?' matches one character, '*' any
// run of them, '[...]' one of a set (ranges, POSIX classes such as
// [:alpha:], negation by a leading '!' or '^'), and a backslash makes the
// next character literal. With `pathname`, '?', '*' and sets never match
// '/', while "**" between slashes (or at either end) matches any number of
// whole directories. A zero byte in `pattern` ends it, as in git.
bool wildmatch(std::string_view pattern, std::string_view text, bool pathname);
