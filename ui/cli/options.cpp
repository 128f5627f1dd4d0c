#include "ui/cli/options.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <utility>

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

// A socket's label, "SOCKET=LABEL": a few printable characters an operator
// reads from a metre away.
bool TakeLabel(const std::string& value, std::map<std::string, std::string>& labels,
               std::string& error) {
    constexpr std::size_t kLongestLabel = 24;
    const std::size_t equals = value.rfind('=');
    const std::string socket = equals == std::string::npos ? "" : value.substr(0, equals);
    const std::string label = equals == std::string::npos ? "" : value.substr(equals + 1);
    if (socket.empty() || label.empty() || label.size() > kLongestLabel ||
        !std::all_of(label.begin(), label.end(), [](char c) { return c >= ' ' && c <= '~'; })) {
        error = "--label needs SOCKET=LABEL, the label 1 to 24 printable characters (" +
                std::string("usb-path:1-2.3=A1), not '") + value + "'";
        return false;
    }
    if (!labels.emplace(socket, label).second) {
        error = "--label gives " + socket + " two labels";
        return false;
    }
    return true;
}

using ModeSet = std::uint32_t;

constexpr ModeSet Of(Mode mode) {
    return ModeSet{1} << static_cast<unsigned>(mode);
}

constexpr ModeSet kBurns = Of(Mode::Burn) | Of(Mode::Check) | Of(Mode::Several) | Of(Mode::Watch);
constexpr ModeSet kImages = kBurns | Of(Mode::Version);
constexpr const char* kOneImage =
    " burns one image: only --watch takes several --image files or --image-dir";
constexpr const char* kNoImage = "--identify asks the PLC what it is; it takes no image";

// Which options go with which modes, for the parser and its usage errors. Where
// it refuses one, `why` says more than that it does not go with the mode: for
// the mode `about` only, or (no `about`) for any; a `why` that begins with a
// space follows the mode's option.
struct Rule {
    const char* option = nullptr;
    const char* why = nullptr;
    std::optional<Mode> about;
    ModeSet modes = 0;
};
const Rule kRules[] = {
    {"--port", nullptr, std::nullopt, kBurns | Of(Mode::Identify)},
    {"--image", kNoImage, Mode::Identify, kImages},
    {"--image-name", kNoImage, Mode::Identify, kImages},
    {"--image-dir", kOneImage, std::nullopt, Of(Mode::Watch)},
    {"--more-images", kOneImage, std::nullopt, Of(Mode::Watch)},
    {"--verify", nullptr, std::nullopt, Of(Mode::Burn) | Of(Mode::Several)},
    {"--expect-sha256", kNoImage, Mode::Identify, kImages},
    {"--placeholder", kNoImage, Mode::Identify, kBurns},
    {"--yes", nullptr, std::nullopt, kBurns},
    {"--json", nullptr, std::nullopt,
     kBurns | Of(Mode::Identify) | Of(Mode::List) | Of(Mode::History) | Of(Mode::Yield)},
    {"--record", " burns nothing, so there is nothing to --record", std::nullopt,
     Of(Mode::Burn) | Of(Mode::Several) | Of(Mode::Watch) | Of(Mode::History) | Of(Mode::Yield)},
    {"--replug-timeout", nullptr, std::nullopt, kBurns | Of(Mode::Identify)},
    {"--trace", " burns each PLC as it arrives; it does not take --trace", Mode::Watch,
     Of(Mode::Burn) | Of(Mode::Check)},
    {"--await-replug", nullptr, std::nullopt, Of(Mode::Burn)},
    {"--http", " serves no page: only --watch does", std::nullopt, Of(Mode::Watch)},
    {"--label", " has no sockets to label: only --watch does", std::nullopt, Of(Mode::Watch)},
    {"--record-db", nullptr, std::nullopt,
     Of(Mode::Watch) | Of(Mode::History) | Of(Mode::Yield) | Of(Mode::Import)},
    {"--station", nullptr, std::nullopt, Of(Mode::Watch) | Of(Mode::History) | Of(Mode::Yield)},
    {"--since", nullptr, std::nullopt, Of(Mode::History) | Of(Mode::Yield)},
    {"--serial", nullptr, std::nullopt, Of(Mode::History)},
    {"--by", nullptr, std::nullopt, Of(Mode::Yield)},
    {"--csv", nullptr, std::nullopt, Of(Mode::History) | Of(Mode::Yield)},
};

// The option that chooses a mode, as the usage errors name it.
const char* ModeOption(Mode mode) {
    switch (mode) {
        case Mode::Burn:
            return "a burn";
        case Mode::Check:
            return "--check";
        case Mode::Several:
            return "several --port";
        case Mode::Watch:
            return "--watch";
        case Mode::Identify:
            return "--identify";
        case Mode::Again:
            return "--again";
        case Mode::History:
            return "--history";
        case Mode::Yield:
            return "--yield";
        case Mode::Import:
            return "--import-record";
        case Mode::List:
            return "--list";
        case Mode::ListPorts:
            return "--list-ports";
        case Mode::Models:
            return "--models";
        case Mode::Version:
            return "--version";
        case Mode::Help:
            return "--help";
    }
    return "";
}

// The mode the options that choose one ask for; false with `error` set when
// they ask for two that do not go together.
bool ChooseMode(const std::vector<std::string>& chosen, Options& o, std::string& error) {
    const auto has = [&chosen](const char* option) {
        return std::find(chosen.begin(), chosen.end(), option) != chosen.end();
    };
    o.check = has("--check");
    if (has("--identify") && o.check) {
        error = "--identify and --check are two different tasks: give one";
        return false;
    }
    if (has("--watch") && has("--identify")) {
        error = "--watch burns each PLC as it arrives; it does not take --identify";
        return false;
    }
    // The tasks of a record are one at a time, and none goes with a burn's.
    std::vector<std::string> tasks;
    for (const char* task : {"--history", "--yield", "--import-record", "--watch", "--identify",
                             "--again", "--check"}) {
        if (has(task)) {
            tasks.emplace_back(task);
        }
    }
    if (tasks.size() > 1 && (has("--history") || has("--yield") || has("--import-record"))) {
        error = tasks[0] + " and " + tasks[1] + " are two different tasks: give one";
        return false;
    }
    // What burns nothing comes first: --help and --version answer whatever else is given.
    constexpr std::pair<const char*, Mode> kChoosers[] = {
        {"--help", Mode::Help},
        {"--models", Mode::Models},
        {"--version", Mode::Version},
        {"--list-ports", Mode::ListPorts},
        {"--list", Mode::List},
        {"--identify", Mode::Identify},
        {"--watch", Mode::Watch},
        {"--again", Mode::Again},
        {"--history", Mode::History},
        {"--yield", Mode::Yield},
        {"--import-record", Mode::Import},
    };
    for (const auto& [option, mode] : kChoosers) {
        if (has(option)) {
            o.mode = mode;
            return true;
        }
    }
    o.mode = o.ports.size() > 1 ? Mode::Several : o.check ? Mode::Check : Mode::Burn;
    return true;
}

// Every option given goes with the mode (kRules), and those that need another have it.
bool OptionsFit(const std::vector<std::string>& given, const Options& o, std::string& error) {
    if (o.mode == Mode::Help) {
        return true;
    }
    if (o.trace && o.ports.size() > 1 && o.mode != Mode::Watch) {
        error = "--trace follows one PLC: give one --port with it";
        return false;
    }
    // Several checks are checks: they record nothing either.
    const Mode judged = o.check && o.mode == Mode::Several ? Mode::Check : o.mode;
    for (const std::string& option : given) {
        const auto rule = std::find_if(std::begin(kRules), std::end(kRules),
                                       [&option](const Rule& r) { return option == r.option; });
        if (rule == std::end(kRules) || (rule->modes & Of(judged)) != 0) {
            continue;
        }
        if (rule->why == nullptr || (rule->about && *rule->about != judged)) {
            error = option + " does not go with " + ModeOption(judged);
        } else {
            error = rule->why[0] == ' ' ? ModeOption(judged) + std::string(rule->why) : rule->why;
        }
        return false;
    }
    const bool reads = o.mode == Mode::History || o.mode == Mode::Yield;
    if (reads && o.recordDb.empty() == o.record.empty()) {
        error = ModeOption(o.mode) + std::string(" reads one record: give --record-db URL or ") +
                "--record FILE";
    } else if (o.mode == Mode::Import && o.recordDb.empty()) {
        error = "--import-record brings a record into a record database: give --record-db URL";
    } else if (o.mode == Mode::Watch && !o.recordDb.empty() && o.record.empty()) {
        error = "--record-db keeps what --record writes: give --record FILE too";
    } else if (o.json && o.csv) {
        error = "--json and --csv are two forms: give one";
    } else if (o.by != "socket" && o.by != "model" && o.by != "station" && o.by != "hour") {
        error = "--by needs socket, model, station or hour, not '" + o.by + "'";
    } else if (!o.imageDir.empty() && !o.image.empty()) {
        error = "--image-dir and --image both name the images: give one of them";
    } else if (!o.moreImages.empty() &&
               (o.image == "-" ||
                std::find(o.moreImages.begin(), o.moreImages.end(), "-") != o.moreImages.end())) {
        error =
            "--image - reads one image from standard input: a station's several images "
            "are files";
    } else if (!o.expectSha256.empty() && (!o.moreImages.empty() || !o.imageDir.empty())) {
        error = "--expect-sha256 is the digest of one image: give it with one --image";
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
    std::vector<std::string> given;   // the options that go with some modes only
    std::vector<std::string> chosen;  // the options that choose the mode
    // The options that take a value, and the usage error of one given without.
    const std::pair<const char*, const char*> withValue[] = {
        {"--port", "--port needs a port name, a path or a USB identity"},
        {"--record", "--record needs a file name"},
        {"--image", "--image needs a firmware file"},
        {"--image-dir", "--image-dir needs a folder of firmware files"},
        {"--again", "--again needs the USB serial number of the unit set aside"},
        {"--image-name", "--image-name needs the image's file name"},
        {"--expect-sha256", "--expect-sha256 needs the image's SHA-256 in hexadecimal"},
        {"--replug-timeout", "--replug-timeout needs whole seconds from 1 to 3600"},
        {"--http", "--http needs ADDR:PORT to serve the station's page on (127.0.0.1:8080)"},
        {"--label", "--label needs SOCKET=LABEL (usb-path:1-2.3=A1)"},
        {"--record-db", "--record-db needs sqlite:PATH or a PostgreSQL address"},
        {"--station", "--station needs the station's name"},
        {"--since", "--since needs a time (2026-12-07T06:00:00Z) or how long ago (24h, 7d)"},
        {"--serial", "--serial needs a unit's USB serial number"},
        {"--by", "--by needs socket, model, station or hour"},
        {"--import-record", "--import-record needs a JSON-lines record file"},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        if (arg == "-h" || arg == "--help" || arg == "--version" || arg == "--list-ports" ||
            arg == "--list" || arg == "--models" || arg == "--identify" || arg == "--check" ||
            arg == "--watch" || arg == "--history" || arg == "--yield") {
            chosen.push_back(arg == "-h" ? "--help" : arg);
            continue;
        }
        const std::pair<const char*, bool*> flags[] = {
            {"--yes", &options.yes},
            {"-y", &options.yes},
            {"--trace", &options.trace},
            {"--json", &options.json},
            {"--placeholder", &options.placeholder},
            {"--await-replug", &options.awaitReplug},
            {"--verify", &options.verify},
            {"--csv", &options.csv},
        };
        const auto flag = std::find_if(std::begin(flags), std::end(flags),
                                       [&arg](const auto& f) { return arg == f.first; });
        if (flag != std::end(flags)) {
            *flag->second = true;
            given.emplace_back(arg == "-y" ? "--yes" : arg);
            continue;
        }
        std::string value;
        bool missing = false;
        const auto valued = std::find_if(
            std::begin(withValue), std::end(withValue),
            [&](const auto& v) { return TakeValue(arg, v.first, argc, argv, i, value, missing); });
        if (valued == std::end(withValue)) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        const std::string name = valued->first;
        if (missing ||
            (name == "--replug-timeout" && !ParseSeconds(value, options.replugTimeoutSeconds))) {
            error = valued->second;
            return false;
        }
        if (name == "--port") {
            if (std::find(options.ports.begin(), options.ports.end(), value) !=
                options.ports.end()) {
                error = "--port " + value + " given twice";
                return false;
            }
            options.ports.push_back(value);
        } else if (name == "--record") {
            options.record = value;
        } else if (name == "--image") {
            if (options.image.empty()) {
                options.image = value;
            } else {
                options.moreImages.push_back(value);
                given.emplace_back("--more-images");
            }
        } else if (name == "--image-dir") {
            options.imageDir = value;
        } else if (name == "--again") {
            options.again = value;
            chosen.emplace_back("--again");
        } else if (name == "--image-name") {
            options.imageName = value;
        } else if (name == "--expect-sha256") {
            options.expectSha256 = value;
        } else if (name == "--http") {
            options.http = value;
        } else if (name == "--label" && !TakeLabel(value, options.labels, error)) {
            return false;
        } else if (name == "--record-db") {
            options.recordDb = value;
        } else if (name == "--station") {
            options.station = value;
        } else if (name == "--since") {
            options.since = value;
        } else if (name == "--serial") {
            options.serial = value;
        } else if (name == "--by") {
            options.by = value;
        } else if (name == "--import-record") {
            options.importRecord = value;
            chosen.emplace_back("--import-record");
        }
        given.push_back(name);
    }
    return ChooseMode(chosen, options, error) && OptionsFit(given, options, error);
}

line::BurnSettings BurnSettingsOf(const Options& options) {
    // A station proves that each unit took: a unit's row says done only then.
    return line::BurnSettings{options.check, options.placeholder, options.record,
                              options.replugTimeoutSeconds,
                              options.verify || options.mode == Mode::Watch};
}

const char* UsageText() {
    static const std::string text = [] {
        const std::string command = platform::CommandName();
        const std::string indent(command.size(), ' ');
        std::string usage;
        usage += "Usage: " + command + " [--port PORT]... [--image FILE] [--yes] [--json]\n";
        usage += "       " + indent + " [--record FILE] [--expect-sha256 HEX] [--check]\n";
        usage += "       " + indent + " [--replug-timeout SECONDS] [--trace] [--placeholder]\n";
        usage += "       " + indent + " [--verify]\n";
        usage += "       " + command + " --identify [--port PORT]... [--json]\n";
        usage += "       " + command + " --watch [--port IDENTITY]... [--image FILE]...\n";
        usage += "       " + indent + " [--image-dir DIR] [--record FILE] [--json]\n";
        usage += "       " + indent + " [--check] [--placeholder]\n";
        usage += "       " + indent + " [--http ADDR:PORT] [--label SOCKET=LABEL]...\n";
        usage += "       " + indent + " [--record-db URL] [--station NAME]\n";
        usage += "       " + command + " --history [--since TIME] [--serial S] [--station NAME]\n";
        usage += "       " + indent + " (--record-db URL | --record FILE) [--json | --csv]\n";
        usage += "       " + command + " --yield [--since TIME] [--by socket|model|station|hour]\n";
        usage += "       " + indent + " (--record-db URL | --record FILE) [--json | --csv]\n";
        usage += "       " + command + " --import-record FILE --record-db URL\n";
        usage += "       " + command + " --again SERIAL\n";
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
            "                them, or those --port names: usb-path:..., usb-serial:...,\n"
            "                the device of a PLC plugged in now) or answers on a watched\n"
            "                serial port. A PLC there at the start, or known by its USB\n"
            "                serial number as burnt with this image, is not burnt; after a\n"
            "                burn the socket must be emptied before the next unit is\n"
            "                taken. Each unit is asked what it is first and burnt with\n"
            "                the image of its model (--image once per model, or\n"
            "                --image-dir DIR: every firmware file in DIR; a hang-up reads\n"
            "                them again); a unit with no image here is left untouched\n"
            "                (no_image). Each burn is verified (--verify); a unit that\n"
            "                failed twice in a row is set aside until --again. With\n"
            "                --check it checks each unit and burns nothing.\n"
            "  --http ADDR:PORT\n"
            "                a station serves its page (one tile per socket, live), its\n"
            "                events, API and metrics at http://ADDR:PORT/ (port 0: one the\n"
            "                system chooses, told in the station event). Read-only.\n"
            "  --label SOCKET=LABEL\n"
            "                the name a station's page gives a socket (usb-path:1-2.3=A1).\n"
            "  --record-db URL\n"
            "                keep every burn of a station in a database as well as --record:\n"
            "                sqlite:PATH, or PostgreSQL (postgresql://USER@HOST/DB or\n"
            "                postgres:CONNINFO; its password in libpq's password file or\n"
            "                PGPASSWORD, never here), shared by a line's stations: a unit\n"
            "                burnt at one is not burnt again at another. Burns never wait\n"
            "                for it: their rows wait in FILE.outbox beside the record.\n"
            "  --station NAME\n"
            "                the station's name in the database (default: the host's);\n"
            "                with --history or --yield, that station's burns only.\n"
            "  --history     the burns of --record-db (or of a --record FILE), oldest\n"
            "                first: --since TIME (RFC 3339, or 24h, 7d, 30m ago), --serial S\n"
            "                (one unit), --station NAME; --json or --csv (a header row,\n"
            "                RFC 4180) for a script, a spreadsheet or an MES.\n"
            "  --yield       done, failed, set aside, yield in percent and the median\n"
            "                seconds of a burn done, --by socket (default), model, station\n"
            "                or hour; --since, --json and --csv as for --history.\n"
            "  --import-record FILE\n"
            "                bring a JSON-lines record into --record-db, each burn once\n"
            "                however often it is brought; a bad line is named and skipped\n"
            "                (exit status 1).\n"
            "  --again SERIAL\n"
            "                burn the unit a station set aside (USB serial number SERIAL)\n"
            "                once more when it is plugged in again.\n"
            "  --verify      after a successful burn, wait for the replug or power cycle\n"
            "                that starts the new firmware and ask the PLC (read-only)\n"
            "                what it runs: not the burnt model's application within\n"
            "                --replug-timeout + 10 s ends the burn \"burnt, but it did\n"
            "                not start\" (exit status 1).\n"
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
