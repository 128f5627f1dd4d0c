#include "ui/cli/options.h"

#include <cstring>

namespace norvane::cli {

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    options = Options{};
    bool portGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--list-ports") {
            options.listPorts = true;
        } else if (arg == "-y" || arg == "--yes") {
            options.yes = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--port" || arg.rfind("--port=", 0) == 0) {
            std::string value;
            if (arg == "--port") {
                if (i + 1 >= argc || argv[i + 1] == nullptr) {
                    error = "--port needs a port name or path";
                    return false;
                }
                value = argv[++i];
            } else {
                value = arg.substr(std::strlen("--port="));
            }
            if (value.empty()) {
                error = "--port needs a port name or path";
                return false;
            }
            if (portGiven) {
                error = "--port given twice";
                return false;
            }
            portGiven = true;
            options.port = value;
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    return true;
}

const char* UsageText() {
    return "Usage: norvane-fwupdate [--port PATH] [--yes] [--trace]\n"
           "       norvane-fwupdate --list-ports | --version | --help\n"
           "\n"
           "Writes the firmware image built into this program into a Norvane PLC of the\n"
           "model it serves (see --version), exactly as the Windows program does.\n"
           "\n"
           "  --port PATH   the port the PLC is on: a name such as ttyUSB0 (for /dev/ttyUSB0)\n"
           "                or any path. Without it: for a PLC on its own USB port, the\n"
           "                PLC's USB device as the kernel names it (looked up again after\n"
           "                the replug); for a PLC on a serial port, the first serial port\n"
           "                in sorted order. For a USB model, PATH is taken as the PLC's USB\n"
           "                device and opened again at the same path after the replug.\n"
           "  --list-ports  print the ports the window would offer, one per line.\n"
           "  --yes, -y     answer the REPLUG and POWER OFF=>ON prompts at once (scripts,\n"
           "                production lines). Without it the prompts wait for Enter; with\n"
           "                no terminal to ask, a model that prompts refuses to start.\n"
           "  --trace       write every byte sent (TX) and received (RX), with a time stamp\n"
           "                in milliseconds, to standard error.\n"
           "  --version     print the program version, the served model and the embedded\n"
           "                image's name, size and SHA-256.\n"
           "  --help, -h    this text.\n"
           "\n"
           "While burning, a terminal shows a live status line (elapsed seconds, progress\n"
           "bar and percentage, phase, retry counters); otherwise one line per phase.\n"
           "The final message is printed as the window shows it, after its caption.\n"
           "Ctrl-C ends the burn at once; if the erase had begun, burn the PLC again.\n"
           "\n"
           "Exit status: 0 success, 1 the burn ended with an ERROR message,\n"
           "             2 a usage error, 130 interrupted.\n"
           "\n"
           "Access without root: see res/linux/ (udev rule, dialout group).\n";
}

}  // namespace norvane::cli
