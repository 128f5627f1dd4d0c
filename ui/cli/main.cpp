// norvane-fwupdate: the burn of the Windows program, from a terminal; one PLC, or
// several at once.
#include <cstdio>
#include <string>

#include "burn/burn_messages.h"
#include "burn/image.h"
#include "burn/model_selection.h"
#include "burn/shared_values.h"
#include "burn/untrusted_text.h"
#include "ui/cli/burn_session.h"
#include "ui/cli/console.h"
#include "ui/cli/event_views.h"
#include "ui/cli/identify.h"
#include "ui/cli/json_object.h"
#include "ui/cli/options.h"
#include "ui/cli/output.h"
#include "ui/cli/platform.h"
#include "ui/cli/run_image.h"
#include "ui/cli/several_burns.h"
#include "ui/cli/station.h"
#include "ui/cli/version_info.h"

namespace {

using namespace norvane;
using namespace norvane::cli;

// The text may name a file or a port: each of its lines is shown escaped.
int UsageError(const std::string& text) {
    std::string shown;
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = text.find('\n', start);
        shown += (start == 0 ? "" : "\n") + ForPerson(text.substr(start, end - start));
    }
    StandardError().Write(std::string(platform::CommandName()) + ": " + shown + "\nTry '" +
                          platform::CommandName() + " --help'.\n");
    return kExitUsage;
}

// What the ports given say before any burn: each is a PLC's port, and no PLC is
// named twice under two names. Empty when they are good.
std::string PortsProblem(const Options& options, const PlcModel& model) {
    std::vector<std::pair<std::string, platform::PortCheck>> seen;
    for (const std::string& port : options.ports) {
        if (port == "USB" && model.linkKind != LinkKind::Usb) {
            return std::string("--port USB names the PLC's own USB port, and a ") + model.name +
                   " is on a serial port: name that (--list shows them)";
        }
        const platform::PortCheck check = platform::CheckPort(port);
        if (check.ownTerminal) {
            return "--port " + port +
                   " is the terminal this program runs on, not a PLC's port (--list shows them)";
        }
        for (const auto& [other, was] : seen) {
            if (!check.key.empty() && check.key == was.key) {
                std::string problem = "--port " + other;
                problem += " and --port " + port + " are the same PLC (" + check.device;
                return problem + "): give each PLC once";
            }
        }
        seen.emplace_back(port, check);
    }
    return "";
}

bool ModelPrompts(const PlcModel& model) {
    return model.afterAppErase != AfterAppErase::Wait1;
}

void ListPorts(bool json) {
    const std::vector<platform::PortRow> rows = platform::ListPorts();
    if (json) {
        for (const platform::PortRow& row : rows) {
            JsonObject line;
            line.Set("port", row.name)
                .Set("kind", row.kind)
                .SetTextOrNull("usb_serial", row.usbSerial)
                .SetTextOrNull("usb_path", row.usbPath)
                .Set("device", row.device);
            StandardOutput().Write(line.ToString() + "\n");
        }
        return;
    }
    // A device chooses its own serial number: every field is shown escaped.
    const auto printRow = [](const std::string& name, const std::string& kind,
                             const std::string& serial, const std::string& path,
                             const std::string& device) {
        const auto column = [](const std::string& text, std::size_t width) {
            const std::string shown = text.empty() ? "-" : ForPerson(text);
            return shown + std::string(width > shown.size() ? width - shown.size() : 0, ' ') + " ";
        };
        StandardOutput().Write(column(name, 24) + column(kind, 8) + column(serial, 20) +
                               column(path, 12) + ForPerson(device) + "\n");
    };
    printRow("PORT", "KIND", "USB SERIAL", "USB PATH", "DEVICE");
    for (const platform::PortRow& row : rows) {
        printRow(row.name, row.kind, row.usbSerial, row.usbPath, row.device);
    }
}

// The port the window would choose: for a USB model the PLC's USB device, for a
// serial model the first serial port; the messages name it as the window does.
void ChoosePort(const Options& options, const PlcModel& model) {
    if (model.linkKind == LinkKind::Usb) {
        selectedComPort.Set("USB");
    } else if (!options.ports.empty()) {
        selectedComPort.Set(options.ports.front());
    } else {
        const std::vector<std::string> ports = platform::WindowPortNames();
        selectedComPort.Set(ports.empty() ? std::string() : ports.front());
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        return UsageError(error);
    }
    if (options.help) {
        StandardOutput().Write(UsageText());
        return kExitSuccess;
    }
    if (options.models) {
        for (int i = 0; i < kModelCount; ++i) {
            StandardOutput().Write(std::string(ModelAt(i).name) + "\n");
        }
        return kExitSuccess;
    }
    // The image of this run, read and judged before any port is opened.
    RunImage image = BuiltInImage();
    if (!options.image.empty() && !ReadImageFile(options.image, options.imageName, image, error)) {
        return UsageError(error);
    }
    if (!options.expectSha256.empty()) {
        if (const std::string problem = DigestProblem(image, options.expectSha256);
            !problem.empty()) {
            return UsageError(problem);
        }
    }
    SetRunImage(std::move(image));
    SelectModel(TheRunImage().modelIndex);
    const PlcModel& model = SelectedModel();
    if (options.version) {
        StandardOutput().Write(VersionText());
        return kExitSuccess;
    }
    if (options.listPorts) {
        const std::vector<std::string> ports = model.linkKind == LinkKind::Usb
                                                   ? std::vector<std::string>{"USB"}
                                                   : platform::WindowPortNames();
        for (const std::string& port : ports) {
            StandardOutput().Write(ForPerson(port) + "\n");
        }
        return kExitSuccess;
    }
    if (options.list) {
        ListPorts(options.json);
        return kExitSuccess;
    }
    if (options.identify) {
        platform::CatchSignals();
        return IdentifyPorts(options);
    }
    if (TheRunImage().placeholder && !options.placeholder) {
        return UsageError(
            std::string(TheRunImage().fromFile
                            ? "that image is the generated PLACEHOLDER of a development build"
                            : "this program carries a generated PLACEHOLDER image") +
            ", not firmware for a real PLC: give the firmware file with --image FILE (or pass "
            "--placeholder to burn the placeholder into a simulated PLC)");
    }
    const bool several = options.ports.size() > 1;
    // A check stops before the hand-over, so no prompt ever comes; a station's
    // burns answer them by the PLC's own replug.
    const bool answersPrompts =
        options.yes || options.check || options.watch || options.awaitReplug;
    if (several && !answersPrompts && !options.watch) {
        return UsageError(
            "several PLCs cannot each be answered from one keyboard: pass --yes, and have "
            "each PLC's cable replugged (or the PLC powered off and on) when its row asks");
    }
    if (ModelPrompts(model) && !answersPrompts && !platform::IsTerminal(stdin)) {
        return UsageError(std::string("a ") + model.name + " asks you to " +
                          (model.afterAppErase == AfterAppErase::PowerCycle
                               ? "power it off and on"
                               : "replug its USB cable") +
                          " during the burn, and there is no terminal to answer on.\nRun it "
                          "from a terminal, or pass --yes to answer at once");
    }
    if (const std::string problem = PortsProblem(options, model); !problem.empty()) {
        return UsageError(problem);
    }
    if (!options.record.empty() && !platform::CanAppend(options.record, error)) {
        return UsageError(error);
    }
    ChoosePort(options, model);
    platform::CatchSignals();
    const bool terminal = platform::IsTerminal(stdout);
    const auto columns = [] { return platform::TerminalColumns(stdout); };
    if (options.watch) {
        JsonView json(StandardOutput());
        TableView table(StandardOutput(), terminal, options.ports, columns);
        EventView& view = options.json ? static_cast<EventView&>(json) : table;
        const int status = RunStation(options, view);
        if (!options.json) {
            table.Summary();
        }
        return status;
    }
    if (several) {
        JsonView json(StandardOutput());
        TableView table(StandardOutput(), terminal, options.ports, columns);
        EventView& view = options.json ? static_cast<EventView&>(json) : table;
        const int status = BurnSeveralPlcs(options, view);
        if (!options.json) {
            table.Summary();
        }
        return status;
    }
    // With --json, standard output carries the JSON lines alone; a prompt goes to
    // standard error.
    Console console(options.json ? StandardError() : StandardOutput(), StandardError(),
                    terminal && !options.json, columns);
    JsonView json(StandardOutput());
    PersonView person(console);
    EventView& view = options.json ? static_cast<EventView&>(json) : person;
    return BurnOnePlc(options, options.ports.empty() ? "" : options.ports.front(), console, view);
}
