#include "line/windows_command_line.h"

namespace norvane::line {

std::string QuoteArgument(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\n\v\"") == std::string::npos) {
        return word;
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quote follows them.
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    // The closing quote follows: the backslashes before it are doubled too.
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

std::string CommandLine(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        line += (line.empty() ? "" : " ") + QuoteArgument(word);
    }
    return line;
}

}  // namespace norvane::line
