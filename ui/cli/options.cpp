#include "ui/cli/options.h"

#include <algorithm>
#include <cstring>

#include "ui/cli/platform.h"

namespace norvane::cli {

namespace {

constexpr int kMaxReplugTimeoutSeconds = 3600;

// The value of an option given as "--name VALUE" or "--name=VALUE"; false when
// `arg` is not that option. An empty or missing value sets `missing`, and so does
// a next word that is an option ("--port --yes"); "--name=VALUE" takes VALUE as
// it is.
bool TakeValue(const std::string& arg, const char* name, int argc, const char* const* argv, int& i,
               std::string& value, bool& missing) {
    const std::string withEquals = std::string(name) + "=";
    if (arg == name) {
        if (i + 1 >= argc || argv[i + 1] == nullptr || argv[i + 1][0] == '-') {
            missing = true;
            return true;
        }
        value = argv[++i];
    } else if (arg.rfind(withEquals, 0) == 0) {
        value = arg.substr(withEquals.size());
    } else {
        return false;
    }
    missing = value.empty();
    return true;
}

bool ParseSeconds(const std::string& text, int& seconds) {
    if (text.empty() || text.size() > 4 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    seconds = std::stoi(text);
    return seconds >= 1 && seconds <= kMaxReplugTimeoutSeconds;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    options = Options{};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        std::string value;
        bool missing = false;
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--list-ports") {
            options.listPorts = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "-y" || arg == "--yes") {
            options.yes = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (TakeValue(arg, "--port", argc, argv, i, value, missing)) {
            if (missing) {
                error = "--port needs a port name, a path or a USB identity";
                return false;
            }
            if (std::find(options.ports.begin(), options.ports.end(), value) !=
                options.ports.end()) {
                error = "--port " + value + " given twice";
                return false;
            }
            options.ports.push_back(value);
        } else if (TakeValue(arg, "--record", argc, argv, i, value, missing)) {
            if (missing) {
                error = "--record needs a file name";
                return false;
            }
            options.record = value;
        } else if (TakeValue(arg, "--replug-timeout", argc, argv, i, value, missing)) {
            if (missing || !ParseSeconds(value, options.replugTimeoutSeconds)) {
                error = "--replug-timeout needs whole seconds from 1 to 3600";
                return false;
            }
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (options.trace && options.ports.size() > 1) {
        error = "--trace follows one PLC: give one --port with it";
        return false;
    }
    return true;
}

const char* UsageText() {
    static const std::string text = [] {
        const std::string command = platform::CommandName();
        const std::string indent(command.size(), ' ');
        std::string usage;
        usage += "Usage: " + command + " [--port PORT]... [--yes] [--json] [--record FILE]\n";
        usage += "       " + indent + " [--replug-timeout SECONDS] [--trace]\n";
        usage += "       " + command + " --list [--json] | --list-ports | --version | --help\n";
        usage +=
            "\n"
            "Writes the firmware image built into this program into Norvane PLCs of the\n"
            "model it serves (see --version), exactly as the Windows program does.\n"
            "\n";
        usage += platform::PortHelp();
        usage +=
            "                Give --port several times to burn several PLCs at once; each\n"
            "                is burnt by a process of its own, and --yes is needed.\n"
            "  --replug-timeout SECONDS\n"
            "                how long to wait for the PLC to come back after the replug\n"
            "                (default 30).\n"
            "  --yes, -y     answer the REPLUG and POWER OFF=>ON prompts at once (scripts,\n"
            "                production lines). Without it the prompts wait for Enter; with\n"
            "                no terminal to ask, a model that prompts refuses to start.\n"
            "  --json        write one JSON object per line for every event of every PLC\n"
            "                (start, phase, progress, retry, prompt, end) instead of the\n"
            "                output for a person; man norvane-fwupdate gives them all.\n"
            "  --record FILE append one JSON line per burn to FILE (time, host, port and\n"
            "                identity, model, what the PLC reported, image, outcome).\n"
            "  --list        print every port that could hold a PLC: the name to give\n"
            "                --port, its kind, USB serial number and socket, device node.\n"
            "  --list-ports  print the ports the window would offer, one per line.\n"
            "  --trace       write every byte sent (TX) and received (RX), with a time stamp\n"
            "                in milliseconds, to standard error (one PLC only).\n"
            "  --version     print the program version, the served model and the embedded\n"
            "                image's name, size and SHA-256.\n"
            "  --help, -h    this text.\n"
            "\n"
            "While burning one PLC, a terminal shows a live status line (elapsed seconds,\n"
            "progress bar and percentage, phase, retry counters), several PLCs a table with\n"
            "a row each; otherwise one line per event. The final message is printed as the\n"
            "window shows it, after its caption. Ctrl-C ends every burn at once; a PLC whose\n"
            "erase had begun must be burnt again.\n"
            "\n"
            "Exit status: 0 every burn succeeded, 1 a burn ended with an ERROR message,\n"
            "             2 a usage error, 130 interrupted.\n"
            "\n";
        return usage + platform::PortAccessHelp();
    }();
    return text.c_str();
}

}  // namespace norvane::cli
