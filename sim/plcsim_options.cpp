#include "plcsim_options.h"

#include <cstdlib>

namespace plcsim {
namespace {

// Accepts decimal or 0x-prefixed hex within [0, max].
bool ParseNumber(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (end == nullptr || *end != '\0' || text[0] == '-' || v > max) {
        return false;
    }
    out = v;
    return true;
}

bool AddFault(const std::string& name, PlcConfig& plc) {
    if (name == "silent") {
        plc.attached = false;
    } else if (name == "run-mode") {
        plc.runMode = true;
    } else if (name == "wrong-type") {
        // A type that no model reports, in both modes.
        plc.appTypeId = 0x7E7E;
        plc.bootTypeId = 0x7E7E;
    } else if (name == "noisy") {
        plc.noiseSeed = 1;
    } else if (name == "write-protected") {
        plc.writeProtected = true;
    } else if (name == "lost-acks") {
        for (std::uint32_t occurrence : {2u, 50u, 300u}) {
            plc.faults.Add(Fault::At(Exchange::Block, occurrence, FaultKind::LostAck));
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace

const char* UsageText() {
    return "usage: norvane-plcsim [options]\n"
           "Serves a simulated PLC on a pseudo-terminal; prints its path on the first line.\n"
           "  --model NAME          PLC model (default QB7)\n"
           "  --image PATH          firmware image to compare the flash with at the end\n"
           "  --mode app|boot       what the PLC runs at start (default app)\n"
           "  --d1386 N, --d1001 N, --d1148 N   register values\n"
           "  --version N           bootloader version byte (both modes)\n"
           "  --fault NAME          silent | run-mode | wrong-type | noisy |\n"
           "                        write-protected | lost-acks (repeatable)\n"
           "  --answer-wake         answer the wake frame\n"
           "  --restart-ms N        in-place restart time into the bootloader (default 500)\n"
           "  --pace                every byte takes its time on the line at the speed the\n"
           "                        tool set (10 bit times), both ways\n"
           "  --flash-write-ms N    time to program one block (default 0)\n"
           "  --erase-ms N          time to erase one unit (default 0)\n"
           "  --block-us N, --erase-us N   the same to the microsecond\n"
           "  --line-figures        print the line's timing figures at the end\n"
           "  --hold-block N --hold-ms MS\n"
           "                        acknowledge the N-th block received (repeats count) MS ms\n"
           "                        late; below the tool's 3000 ms read time-out the burn\n"
           "                        goes on, with its progress standing still meanwhile\n"
           "  --exit-after-burn     exit once a burn has ended\n"
           "  --until-started       with --exit-after-burn: only once the burnt PLC was\n"
           "                        reopened in its new firmware and let go (a station\n"
           "                        asks a unit before its burn and after it)\n"
           "  --timeout SECONDS     exit when nothing happens for this long\n"
           "Exit status 0 when the flash holds the image (or, without --image, when a\n"
           "transfer completed).\n";
}

bool ParseOptions(const std::vector<std::string>& args, ProgramOptions& options,
                  std::string& error) {
    PlcConfig& plc = options.plc;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](unsigned long max, unsigned long& out) {
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (!ParseNumber(text, max, out)) {
                error = "bad number for " + arg;
                error += ": ";
                error += text;
                return false;
            }
            return true;
        };
        std::string text;
        unsigned long n = 0;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--model") {
            if (!value(text)) {
                return false;
            }
            if (FindSimModel(text) == nullptr) {
                error = "unknown model: " + text;
                return false;
            }
            plc.model = text;
        } else if (arg == "--image") {
            if (!value(options.imagePath)) {
                return false;
            }
        } else if (arg == "--mode") {
            if (!value(text)) {
                return false;
            }
            if (text != "app" && text != "boot") {
                error = "--mode takes app or boot";
                return false;
            }
            plc.initialMode = text == "boot" ? PlcMode::Bootloader : PlcMode::Application;
        } else if (arg == "--d1386" || arg == "--d1001" || arg == "--d1148") {
            if (!number(0xFFFF, n)) {
                return false;
            }
            const auto v = static_cast<std::uint16_t>(n);
            (arg == "--d1386" ? plc.d1386 : arg == "--d1001" ? plc.d1001 : plc.d1148) = v;
        } else if (arg == "--version") {
            if (!number(0xFF, n)) {
                return false;
            }
            // The bootloader sends the version as two bytes: its high half in the low
            // half of the first, its low half in the high half of the second.
            plc.appVersion = static_cast<std::uint8_t>(n);
            plc.bootVersionA = static_cast<std::uint8_t>(n >> 4);
            plc.bootVersionB = static_cast<std::uint8_t>((n & 0x0F) << 4);
        } else if (arg == "--fault") {
            if (!value(text)) {
                return false;
            }
            if (!AddFault(text, plc)) {
                error = "unknown fault: " + text;
                return false;
            }
        } else if (arg == "--answer-wake") {
            plc.answerWake = true;
        } else if (arg == "--restart-ms") {
            if (!number(600000, n)) {
                return false;
            }
            plc.restartDelayMs = n;
        } else if (arg == "--pace") {
            options.paceLine = true;
        } else if (arg == "--block-us" || arg == "--erase-us") {
            if (!number(60000000, n)) {
                return false;
            }
            (arg == "--block-us" ? options.blockWriteUs : options.eraseUnitUs) =
                static_cast<std::uint32_t>(n);
        } else if (arg == "--hold-block" || arg == "--hold-ms") {
            if (!number(arg == "--hold-block" ? 0xFFFFFFFFul : 600000, n) || n == 0) {
                error = "--hold-block and --hold-ms take a number from 1";
                return false;
            }
            (arg == "--hold-block" ? options.holdBlock : options.holdMs) =
                static_cast<std::uint32_t>(n);
        } else if (arg == "--line-figures") {
            options.lineFigures = true;
        } else if (arg == "--flash-write-ms") {
            if (!number(60000, n)) {
                return false;
            }
            plc.flashWriteTimeMs = n;
        } else if (arg == "--erase-ms") {
            if (!number(60000, n)) {
                return false;
            }
            plc.eraseTimeMs = n;
        } else if (arg == "--exit-after-burn") {
            options.exitAfterBurn = true;
        } else if (arg == "--until-started") {
            options.untilStarted = true;
        } else if (arg == "--timeout") {
            if (!number(86400, n)) {
                return false;
            }
            options.idleTimeoutSeconds = static_cast<std::uint32_t>(n);
        } else {
            error = "unknown option: " + arg;
            return false;
        }
    }
    if ((options.holdBlock == 0) != (options.holdMs == 0)) {
        error = "--hold-block and --hold-ms go together";
        return false;
    }
    if (options.holdBlock != 0) {
        plc.faults.Add(
            Fault::At(Exchange::Block, options.holdBlock, FaultKind::Delay, options.holdMs));
    }
    return true;
}

}  // namespace plcsim
