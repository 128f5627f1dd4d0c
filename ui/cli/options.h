// The command line of norvane-fwupdate.
#pragma once

#include <string>

namespace norvane::cli {

struct Options {
    bool help = false;
    bool version = false;
    bool listPorts = false;
    bool yes = false;    // answer the replug and power-cycle prompts at once
    bool trace = false;  // every byte on the line to standard error
    std::string port;    // empty: the port the window would choose
};

// False with `error` set when the arguments make no sense.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* UsageText();

}  // namespace norvane::cli
