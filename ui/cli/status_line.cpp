#include "ui/cli/status_line.h"

#include <algorithm>
#include <cstdio>

namespace norvane::cli {

namespace {
constexpr std::size_t kBarWidth = 30;
constexpr std::size_t kNarrowestBar = 10;
}  // namespace

std::string FitTo(const std::string& line, std::size_t columns) {
    return columns == 0 || line.size() <= columns ? line : line.substr(0, columns);
}

std::string FormatStatusLine(const StatusValues& v, std::size_t columns,
                             const std::string& detail) {
    const std::int32_t shown = std::clamp(v.progress, 0, 100);
    char head[32];
    char tail[96];
    std::snprintf(head, sizeof head, "%4d s [", v.elapsedTime);
    std::snprintf(tail, sizeof tail, "] %3d %% %-11s  errors %d/%d", v.progress,
                  PhaseWord(v.flashStatus), v.errCounter, v.totalErrCounter);
    const std::string after = detail.empty() ? tail : std::string(tail) + "  " + detail;
    std::size_t width = kBarWidth;
    const std::size_t rest = std::char_traits<char>::length(head) + after.size();
    if (columns != 0 && rest + width > columns) {
        width = columns > rest + kNarrowestBar ? columns - rest : kNarrowestBar;
    }
    const std::size_t filled = static_cast<std::size_t>(shown) * width / 100;
    return head + std::string(filled, '#') + std::string(width - filled, '-') + after;
}

std::string FormatPhaseLine(const StatusValues& v) {
    char line[96];
    std::snprintf(line, sizeof line, "[%4d s] %s", v.elapsedTime, PhaseWord(v.flashStatus));
    return line;
}

}  // namespace norvane::cli
