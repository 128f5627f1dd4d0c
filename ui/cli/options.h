// The command line of norvane-fwupdate.
#pragma once

#include <string>
#include <vector>

namespace norvane::cli {

constexpr int kDefaultReplugTimeoutSeconds = 30;

struct Options {
    bool help = false;
    bool version = false;
    bool listPorts = false;          // the window's port list
    bool models = false;             // the models of the catalogue, one per line
    bool list = false;               // every port that could hold a PLC, with its identity
    bool yes = false;                // answer the replug and power-cycle prompts at once
    bool trace = false;              // every byte on the line to standard error
    bool json = false;               // one JSON object per line instead of output for a person
    std::vector<std::string> ports;  // empty: the port the window would choose
    std::string record;              // a file to append one line per burn to
    int replugTimeoutSeconds = kDefaultReplugTimeoutSeconds;
    std::string image;         // a firmware file to burn instead of the built-in image
    std::string imageName;     // the file name of an image read from standard input
    std::string expectSha256;  // refuse any image whose digest differs
    bool placeholder = false;  // burn the built-in placeholder image all the same
    bool identify = false;     // say what each PLC is, changing nothing
    bool check = false;        // everything up to the erase, then stop
    bool watch = false;        // a station: burn each PLC as it is plugged in, until stopped
    bool awaitReplug = false;  // the replug prompt answered by the PLC leaving and coming back
};

// False with `error` set when the arguments make no sense.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* UsageText();

}  // namespace norvane::cli
