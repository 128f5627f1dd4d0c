#include "ui/cli/status_line.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace norvane::cli {

namespace {
constexpr std::size_t kBarWidth = 30;
constexpr std::size_t kNarrowestBar = 10;

}  // namespace

std::string Joined(const std::vector<std::string>& parts) {
    std::string line;
    for (const std::string& part : parts) {
        if (!part.empty()) {
            line += line.empty() ? part : "  " + part;
        }
    }
    return line;
}

std::string FitTo(const std::string& line, std::size_t columns) {
    return columns == 0 || line.size() <= columns ? line : line.substr(0, columns);
}

std::string FirstThatFits(const std::vector<std::string>& lines, std::size_t columns) {
    for (const std::string& line : lines) {
        if (columns == 0 || line.size() <= columns) {
            return line;
        }
    }
    return FitTo(lines.back(), columns);
}

std::string FormatStatusLine(const StatusValues& v, std::size_t columns,
                             const std::string& detail) {
    const std::int32_t shown = std::clamp(v.progress, 0, 100);
    char seconds[16];
    char percent[32];
    char errors[48];
    std::snprintf(seconds, sizeof seconds, "%4d s", v.elapsedTime);
    std::snprintf(percent, sizeof percent, "%3d %% %-11s", v.progress, PhaseWord(v.flashStatus));
    std::snprintf(errors, sizeof errors, "errors %d/%d", v.errCounter, v.totalErrCounter);
    const auto withBar = [&](std::size_t width) {
        const std::size_t filled = static_cast<std::size_t>(shown) * width / 100;
        return std::string(seconds) + " [" + std::string(filled, '#') +
               std::string(width - filled, '-') + "] " + Joined({percent, errors, detail});
    };
    std::string line = withBar(kBarWidth);
    if (columns == 0 || line.size() <= columns) {
        return line;
    }
    const std::size_t over = line.size() - columns;
    if (over <= kBarWidth - kNarrowestBar) {
        return withBar(kBarWidth - over);
    }
    // Narrower still: the bar goes first, then the counters; the time left stays.
    return FirstThatFits({std::string(seconds) + " " + Joined({percent, errors, detail}),
                          std::string(seconds) + " " + Joined({percent, detail})},
                         columns);
}

std::string FormatWaitLine(const StatusValues& v, const std::string& wait) {
    char head[64];
    std::snprintf(head, sizeof head, "%4d s  ", v.elapsedTime);
    char errors[48];
    std::snprintf(errors, sizeof errors, "  errors %d/%d", v.errCounter, v.totalErrCounter);
    return head + wait + errors;
}

std::string FormatPhaseLine(const StatusValues& v) {
    char line[96];
    std::snprintf(line, sizeof line, "[%4d s] %s", v.elapsedTime, PhaseWord(v.flashStatus));
    return line;
}

}  // namespace norvane::cli
