#include "find/dialect.h"

#include <algorithm>

namespace cli {

namespace {

// What gcc or clang reads as C++ (sources, modules, preprocessed output,
// CUDA, HIP and Objective-C++), with MSVC's modules (ixx); then headers;
// then the conventions of header-only libraries for the bodies of templates
// and inline functions. .h stays C: C and C++ share it.
constexpr std::string_view CXX_SUFFIXES[] = {
    "C", "cc", "CC", "cp", "cpp", "CPP", "cxx", "CXX", "c++", "C++", "cppm", "ccm", "cxxm", "c++m", "ixx",
    "ii", "cu", "hip", "mm", "M", "mii",
    "H", "hh", "hp", "hpp", "HPP", "hxx", "h++",
    "ipp", "tpp", "tcc", "inl"};

bool endsInSuffix(std::string_view path, std::string_view suffix)
{
    return path.size() > suffix.size() && path.ends_with(suffix) && path[path.size() - suffix.size() - 1] == '.';
}

} // namespace

crules::Dialect dialectOfPath(std::string_view path, const std::vector<std::string> &cxxSuffixes)
{
    const auto matches = [path](std::string_view suffix) { return endsInSuffix(path, suffix); };
    if (std::any_of(std::begin(CXX_SUFFIXES), std::end(CXX_SUFFIXES), matches) ||
        std::any_of(cxxSuffixes.begin(), cxxSuffixes.end(), matches))
        return crules::Dialect::Cpp;
    return crules::Dialect::C;
}

} // namespace cli
