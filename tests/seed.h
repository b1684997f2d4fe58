// The seed of every random test: CMEASURE_SEED when it is set, so that a
// failure is replayed by setting it to the seed the failure printed; else
// the test's own, fixed for a table's rows and drawn afresh where a test
// explores a new case at each run. The seed in use goes to the output, so
// that a run that fails can always be replayed.
#pragma once

#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

namespace testseed {

inline bool given()
{
    return std::getenv("CMEASURE_SEED") != nullptr;
}

// CMEASURE_SEED, or `otherwise`, printed.
inline unsigned seedOr(unsigned otherwise, const std::string &what = "seed")
{
    const char *text = std::getenv("CMEASURE_SEED");
    const unsigned seed = text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : otherwise;
    std::cout << what << ": CMEASURE_SEED=" << seed << '\n';
    return seed;
}

// CMEASURE_SEED, or a seed drawn afresh, printed.
inline unsigned fresh(const std::string &what = "seed")
{
    return seedOr(given() ? 0 : std::random_device()(), what);
}

// The first seed of a row whose own is `rowFirst`: CMEASURE_SEED replays
// the row from the seed a failure printed.
inline unsigned first(unsigned rowFirst, const std::string &what = "first seed")
{
    return seedOr(rowFirst, what);
}

} // namespace testseed
