// What every burn of a run of several PLCs, or of a station, is started with,
// and the command line of its process: the ordinary terminal program for one
// PLC. A firmware file was read and checked once, by the parent: every burn gets
// the same bytes on its standard input with their digest to check, never a path
// that could change between two burns.
#pragma once

#include <string>
#include <vector>

#include "line/run_image.h"

namespace norvane::line {

struct BurnSettings {
    bool check = false;        // check each PLC, burn nothing
    bool placeholder = false;  // the placeholder image may be burnt
    std::string record;        // the record file; empty: none
    int replugTimeoutSeconds = 30;
    bool verify = false;  // each burn sees its PLC start the new firmware
};

// The arguments after the program's name.
std::vector<std::string> ChildCommand(const BurnSettings& settings, const std::string& port,
                                      bool awaitReplug, const RunImage& image);

}  // namespace norvane::line
