// The command line a child process is started with on Windows: one string that
// the child's runtime splits back into exactly the words the parent meant.
#pragma once

#include <string>
#include <vector>

namespace norvane::line {

// `word` as one argument of a command line: as it is when it holds no space,
// tab or quote; otherwise in quotes, with every quote escaped and the
// backslashes before a quote (or before the closing quote) doubled.
std::string QuoteArgument(const std::string& word);

// The words, quoted, joined by spaces.
std::string CommandLine(const std::vector<std::string>& words);

}  // namespace norvane::line
