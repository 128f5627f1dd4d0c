#include "bench_setup.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace norvane::bench {

std::string MakeWorkDir() {
    char pattern[] = "/tmp/norvane-bench-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir != nullptr ? dir : "/tmp";
}

std::string Grouped(double value) {
    const auto whole = static_cast<long long>(std::llround(value));
    std::string digits = std::to_string(whole < 0 ? -whole : whole);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return whole < 0 ? "-" + digits : digits;
}

std::vector<int> PlcCounts(int argc, char** argv, std::vector<int> otherwise) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::atoi(argv[i]));
    }
    return counts.empty() ? otherwise : counts;
}

}  // namespace norvane::bench
