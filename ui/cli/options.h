// The command line of norvane-fwupdate: one mode, and the options that go with it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "line/child_command.h"

namespace norvane::cli {

constexpr int kDefaultReplugTimeoutSeconds = 30;

// What a run does. A burn of one PLC (Check: up to the first request that would
// change it), of several at once, a station; what PLCs are (Identify); the
// information that burns nothing.
enum class Mode : std::uint8_t {
    Burn,
    Check,
    Several,
    Watch,
    Identify,
    Again,
    History,  // the burns a record holds
    Yield,    // their yield, in groups
    Import,   // a JSON-lines record brought into a record database
    List,
    ListPorts,
    Models,
    Version,
    Help,
};

struct Options {
    Mode mode = Mode::Burn;
    bool check = false;              // Check, and several or a station that check each PLC
    bool yes = false;                // answer the replug and power-cycle prompts at once
    bool trace = false;              // every byte on the line to standard error
    bool json = false;               // one JSON object per line instead of output for a person
    std::vector<std::string> ports;  // empty: the port the window would choose
    std::string record;              // a file to append one line per burn to
    int replugTimeoutSeconds = kDefaultReplugTimeoutSeconds;
    std::string image;                    // a firmware file to burn instead of the built-in image
    std::vector<std::string> moreImages;  // a station's further --image files, one per model
    std::string imageDir;                 // a station's images: every firmware file in this folder
    std::string again;                    // --again: the USB serial number of a unit set aside
    bool verify = false;       // after a successful burn, see the PLC start its new firmware
    std::string imageName;     // the file name of an image read from standard input
    std::string expectSha256;  // refuse any image whose digest differs
    bool placeholder = false;  // burn the built-in placeholder image all the same
    bool awaitReplug = false;  // the replug prompt answered by the PLC leaving and coming back
    std::string http;          // a station's page: ADDR:PORT to serve it on; empty: none
    std::map<std::string, std::string> labels;  // a station's names for its sockets
    std::string recordDb;       // the record database: sqlite:PATH, postgresql://...
    std::string station;        // a station's name in it (default: the host's); a filter
    std::string since;          // --history, --yield: RFC 3339 time, or 24h, 7d, 30m ago
    std::string serial;         // --history: one unit's burns
    std::string by = "socket";  // --yield: socket, model, station or hour
    bool csv = false;           // --history, --yield: CSV for a spreadsheet or an MES
    std::string importRecord;   // --import-record: the JSON-lines record to bring in
};

// False with `error` set when the arguments make no sense.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// What every burn process of a run of several PLCs, or of a station, is started
// with.
line::BurnSettings BurnSettingsOf(const Options& options);

const char* UsageText();

}  // namespace norvane::cli
