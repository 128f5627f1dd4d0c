#include "ui/cli/status_line.h"

#include <cstdio>

namespace norvane::cli {

namespace {
constexpr int kBarWidth = 30;
}

std::string FormatStatusLine(const StatusValues& v) {
    std::int32_t shown = v.progress < 0 ? 0 : (v.progress > 100 ? 100 : v.progress);
    char bar[kBarWidth + 1];
    const int filled = shown * kBarWidth / 100;
    for (int i = 0; i < kBarWidth; ++i) {
        bar[i] = i < filled ? '#' : '-';
    }
    bar[kBarWidth] = '\0';
    char line[160];
    std::snprintf(line, sizeof line, "%4d s [%s] %3d %% %-11s  errors %d/%d", v.elapsedTime, bar,
                  v.progress, PhaseWord(v.flashStatus), v.errCounter, v.totalErrCounter);
    return line;
}

std::string FormatPhaseLine(const StatusValues& v) {
    char line[96];
    std::snprintf(line, sizeof line, "[%4d s] %s", v.elapsedTime, PhaseWord(v.flashStatus));
    return line;
}

}  // namespace norvane::cli
