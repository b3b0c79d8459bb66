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

// A benchmark that needs other processes loading the device starts this
// program again with this flag and the device's folder; it then runs
// writeFlatOut instead of the benchmarks, until it is killed.
inline constexpr char kFlatOutWriterFlag[] = "--flat-out-writer";
int writeFlatOut(const char* device);

}  // namespace bench
