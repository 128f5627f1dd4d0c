// Small helpers of the line benchmarks.
#pragma once

#include <string>

namespace norvane::bench {

// A scratch directory for logs and the peer's files.
std::string MakeWorkDir();

// "12,345" for large counts, so the figures read at a glance.
std::string Grouped(double value);

}  // namespace norvane::bench
