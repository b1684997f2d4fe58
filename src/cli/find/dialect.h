// Which of C's dialects a file is read in, decided in one place for every
// way a file can be named C++.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "c_rules.h"

namespace cli {

// C++ for a path whose name ends in a dot and a suffix that gcc or clang
// reads as C++ (case matters, as it does to them: .C is C++, .c is C), one
// of the header-only conventions ipp, tpp, tcc and inl, or one of
// `cxxSuffixes` (--cxx-ext, without dots); C for any other path.
crules::Dialect dialectOfPath(std::string_view path, const std::vector<std::string> &cxxSuffixes);

} // namespace cli
