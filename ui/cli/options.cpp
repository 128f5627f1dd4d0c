#include "ui/cli/options.h"

#include <algorithm>
#include <cstring>

#include "ui/cli/platform.h"

namespace norvane::cli {

namespace {

constexpr int kMaxReplugTimeoutSeconds = 3600;

// The value of an option given as "--name VALUE" or "--name=VALUE"; false when
// `arg` is not that option. An empty or missing value sets `missing`, and so does
// a next word that is an option ("--port --yes"; "-" alone, standard input, is a
// value); "--name=VALUE" takes VALUE as it is.
bool TakeValue(const std::string& arg, const char* name, int argc, const char* const* argv, int& i,
               std::string& value, bool& missing) {
    const std::string withEquals = std::string(name) + "=";
    if (arg == name) {
        if (i + 1 >= argc || argv[i + 1] == nullptr ||
            (argv[i + 1][0] == '-' && argv[i + 1][1] != '\0')) {
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

// Options that cannot go together, and those that need another.
bool CombinationMakesSense(const Options& o, std::string& error) {
    const char* readOnly = o.identify ? "--identify" : o.check ? "--check" : nullptr;
    if (o.identify && o.check) {
        error = "--identify and --check are two different tasks: give one";
    } else if (readOnly != nullptr && !o.record.empty()) {
        error = std::string(readOnly) + " burns nothing, so there is nothing to --record";
    } else if (o.identify && (!o.image.empty() || !o.expectSha256.empty() || o.placeholder)) {
        error = "--identify asks the PLC what it is; it takes no image";
    } else if (o.watch && (o.identify || o.trace)) {
        error = std::string("--watch burns each PLC as it arrives; it does not take ") +
                (o.identify ? "--identify" : "--trace");
    } else if (!o.imageName.empty() && o.image != "-") {
        error = "--image-name names an image read from standard input (--image -)";
    } else if (o.image == "-" && o.imageName.empty()) {
        error = "--image - needs --image-name, whose prefix names the model";
    } else {
        return true;
    }
    return false;
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
        } else if (arg == "--models") {
            options.models = true;
        } else if (arg == "-y" || arg == "--yes") {
            options.yes = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--placeholder") {
            options.placeholder = true;
        } else if (arg == "--identify") {
            options.identify = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "--watch") {
            options.watch = true;
        } else if (arg == "--await-replug") {
            options.awaitReplug = true;
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
        } else if (TakeValue(arg, "--image", argc, argv, i, value, missing)) {
            if (missing) {
                error = "--image needs a firmware file";
                return false;
            }
            options.image = value;
        } else if (TakeValue(arg, "--image-name", argc, argv, i, value, missing)) {
            if (missing) {
                error = "--image-name needs the image's file name";
                return false;
            }
            options.imageName = value;
        } else if (TakeValue(arg, "--expect-sha256", argc, argv, i, value, missing)) {
            if (missing) {
                error = "--expect-sha256 needs the image's SHA-256 in hexadecimal";
                return false;
            }
            options.expectSha256 = value;
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
    return CombinationMakesSense(options, error);
}

const char* UsageText() {
    static const std::string text = [] {
        const std::string command = platform::CommandName();
        const std::string indent(command.size(), ' ');
        std::string usage;
        usage += "Usage: " + command + " [--port PORT]... [--image FILE] [--yes] [--json]\n";
        usage += "       " + indent + " [--record FILE] [--expect-sha256 HEX] [--check]\n";
        usage += "       " + indent + " [--replug-timeout SECONDS] [--trace] [--placeholder]\n";
        usage += "       " + command + " --identify [--port PORT]... [--json]\n";
        usage +=
            "       " + command + " --watch [--port IDENTITY]... [--image FILE] [--record FILE]\n";
        usage += "       " + indent + " [--json] [--check] [--placeholder]\n";
        usage +=
            "       " + command + " --list [--json] | --list-ports | --version [--image FILE]\n";
        usage += "       " + command + " --models | --help\n";
        usage +=
            "\n"
            "Writes firmware into Norvane PLCs exactly as the Windows program does: the\n"
            "image built into this program (see --version), or a firmware file of any\n"
            "model with --image.\n"
            "\n";
        usage += platform::PortHelp();
        usage +=
            "                Give --port several times to burn several PLCs at once; each\n"
            "                is burnt by a process of its own, and --yes is needed.\n"
            "  --image FILE  burn FILE instead of the built-in image. The text of its name\n"
            "                before the first underscore names the model (QB7_v1.12.bin:\n"
            "                a QB7), whose every rule then applies. FILE is read once,\n"
            "                before any port is opened. --image - --image-name NAME reads\n"
            "                it from standard input, NAME naming its model.\n"
            "  --expect-sha256 HEX\n"
            "                refuse the image (a file or the built-in one) unless its\n"
            "                SHA-256 is HEX, before anything is sent.\n"
            "  --check       run the burn up to the first request that would change the\n"
            "                PLC, then stop: the ERROR the burn would show, or \"ready to\n"
            "                burn\" with what was found. Never prompts, records nothing.\n"
            "  --identify    say what is on each port (or each PLC on USB): its mode, type,\n"
            "                bootloader version and the models it can be. Sends only\n"
            "                requests that read; never prompts, records nothing.\n"
            "  --watch       a station: runs until stopped (Ctrl-C or SIGTERM: no new burn,\n"
            "                the running ones end; twice: they are interrupted), burning\n"
            "                each PLC as it is plugged into a watched USB socket (all of\n"
            "                them, or those --port names as usb-path:...) or answers on a\n"
            "                watched serial port. A PLC there at the start, or known by its\n"
            "                USB serial number as burnt, is not burnt; after a burn the\n"
            "                socket must be emptied before the next unit is taken. With\n"
            "                --check it checks each unit and burns nothing.\n"
            "  --await-replug\n"
            "                answer the REPLUG prompt when the PLC's USB device has left its\n"
            "                socket and come back (within --replug-timeout); a station's\n"
            "                burns do.\n"
            "  --replug-timeout SECONDS\n"
            "                how long to wait for the PLC to come back after the replug\n"
            "                (default 30).\n"
            "  --yes, -y     answer the REPLUG and POWER OFF=>ON prompts at once (scripts,\n"
            "                production lines). Without it the prompts wait for Enter; with\n"
            "                no terminal to ask, a model that prompts refuses to start.\n"
            "  --json        write one JSON object per line for every event of every PLC\n"
            "                instead of the output for a person; man norvane-fwupdate\n"
            "                gives them all.\n"
            "  --record FILE append one JSON line per burn to FILE (time, host, port and\n"
            "                identity, model, what the PLC reported, image, outcome).\n"
            "  --placeholder burn the generated placeholder of a development build (built\n"
            "                in, or from any file: it is known by its SHA-256) all the same\n"
            "                (simulated PLCs only).\n"
            "  --list        print every port that could hold a PLC: the name to give\n"
            "                --port, its kind, USB serial number and socket, device node.\n"
            "  --list-ports  print the ports the window would offer, one per line.\n"
            "  --models      print the models a firmware file's name may begin with.\n"
            "  --trace       write every byte sent (TX) and received (RX), with a time stamp\n"
            "                in milliseconds, to standard error (one PLC only).\n"
            "  --version     print the program version and the image's model, name, size\n"
            "                and SHA-256 (with --image, of that file).\n"
            "  --help, -h    this text.\n"
            "\n"
            "While burning one PLC, a terminal shows a live status line (elapsed seconds,\n"
            "progress bar and percentage, phase, retry counters, what the burn waits for,\n"
            "the time left), several PLCs a table with a row each; otherwise one line per\n"
            "event. The final message is printed as the window shows it, after its\n"
            "caption. Ctrl-C ends every burn at once; a PLC whose erase had begun must be\n"
            "burnt again.\n"
            "\n"
            "Exit status: 0 every burn succeeded (--check: ready; --identify: every PLC\n"
            "             told), 1 a burn ended with an ERROR message, 2 a usage error,\n"
            "             130 interrupted.\n"
            "\n";
        return usage + platform::PortAccessHelp();
    }();
    return text.c_str();
}

}  // namespace norvane::cli
