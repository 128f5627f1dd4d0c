// Small helpers of the line benchmarks.
#pragma once

#include <string>
#include <vector>

namespace norvane::bench {

// A scratch directory for logs and the peer's files.
std::string MakeWorkDir();

// "12,345" for large counts, so the figures read at a glance.
std::string Grouped(double value);

// The PLC counts a scale benchmark's command line names, or `otherwise`.
std::vector<int> PlcCounts(int argc, char** argv, std::vector<int> otherwise);

}  // namespace norvane::bench
