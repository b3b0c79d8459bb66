// Benchmarks are read as ratios against a baseline measured in the same run,
// so that the figures mean the same on a fast and a slow machine.
#pragma once

#include <string>

namespace bench {

// Declares that benchmark `name` is compared with benchmark `baseline` (which
// may be empty: an absolute figure) and states the goal in words.
struct Comparison {
    Comparison(std::string name, std::string baseline, std::string goal);
};

}  // namespace bench
