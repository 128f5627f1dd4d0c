// norvane-fwupdate: the burn of the Windows program, from a terminal; one PLC,
// several at once, a station, or what PLCs are.
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "burn/image.h"
#include "burn/model_selection.h"
#include "burn/shared_values.h"
#include "burn/untrusted_text.h"
#include "line/exit_status.h"
#include "line/identify.h"
#include "line/image_set.h"
#include "line/machine.h"
#include "line/machine_world.h"
#include "line/process_supervisor.h"
#include "line/run_image.h"
#include "line/several_burns.h"
#include "line/station.h"
#include "line/warnings.h"
#include "port/test_settings.h"
#include "ui/cli/burn_session.h"
#include "ui/cli/console.h"
#include "ui/cli/event_views.h"
#include "ui/cli/options.h"
#include "ui/cli/output.h"
#include "ui/cli/platform.h"
#include "ui/cli/record_db.h"
#include "ui/cli/signal_controls.h"
#include "ui/cli/station_page.h"
#include "ui/cli/version_info.h"

namespace {

using namespace norvane;
using namespace norvane::cli;
namespace machine = line::machine;

// The text may name a file or a port: each of its lines is shown escaped.
int UsageError(const std::string& text) {
    std::string shown;
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = text.find('\n', start);
        shown += (start == 0 ? "" : "\n") + ForPerson(text.substr(start, end - start));
    }
    StandardError().Write(std::string(platform::CommandName()) + ": " + shown + "\nTry '" +
                          platform::CommandName() + " --help'.\n");
    return line::kExitUsage;
}

// What the ports given say before any burn: each is a PLC's port, and no PLC is
// named twice under two names. Empty when they are good.
std::string PortsProblem(const Options& options, const PlcModel& model) {
    std::vector<std::pair<std::string, machine::PortCheck>> seen;
    for (const std::string& port : options.ports) {
        if (port == "USB" && model.linkKind != LinkKind::Usb) {
            return std::string("--port USB names the PLC's own USB port, and a ") + model.name +
                   " is on a serial port: name that (--list shows them)";
        }
        const machine::PortCheck check = machine::CheckPort(port);
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

// What a station watches for each --port: a USB socket by its place or its
// serial number, the socket of a PLC's USB device plugged in now, or a serial
// port (one that is not there yet is shown missing until it appears). Nothing,
// with `error` set, for a --port no station can watch.
std::optional<std::vector<line::WatchedPort>> WatchedPorts(const Options& options,
                                                           std::string& error) {
    std::vector<line::WatchedPort> watched;
    for (const std::string& port : options.ports) {
        const bool identity = port.rfind("usb-path:", 0) == 0 || port.rfind("usb-serial:", 0) == 0;
        const machine::PortCheck check = identity ? machine::PortCheck{} : machine::CheckPort(port);
        if (port == "USB") {
            error =
                "--port USB names whichever PLC is on USB, not a socket: a station watches "
                "usb-path:..., usb-serial:..., the device of a PLC plugged in now, or a serial "
                "port (--list shows them); without --port, every USB socket";
            return std::nullopt;
        }
        if (check.plcUsb && !check.usbPath.empty()) {
            // Its socket, which stays when the kernel names the device anew.
            watched.push_back({"usb-path:" + check.usbPath, true});
        } else {
            watched.push_back({port, identity || check.plcUsb});
        }
    }
    return watched;
}

bool ModelPrompts(const PlcModel& model) {
    return model.afterAppErase != AfterAppErase::Wait1;
}

// The port the window would choose: for a USB model the PLC's USB device, for a
// serial model the first serial port; the messages name it as the window does.
void ChoosePort(const Options& options, const PlcModel& model) {
    if (model.linkKind == LinkKind::Usb) {
        selectedComPort.Set("USB");
    } else if (!options.ports.empty()) {
        selectedComPort.Set(options.ports.front());
    } else {
        const std::vector<std::string> ports = machine::WindowPortNames();
        selectedComPort.Set(ports.empty() ? std::string() : ports.front());
    }
}

// The one view of this run: JSON lines, or what a person sees of its mode.
std::unique_ptr<EventView> MakeView(const Options& options, Console& console) {
    const bool terminal = platform::IsTerminal(stdout);
    const auto columns = [] { return platform::TerminalColumns(stdout); };
    if (options.json) {
        return std::make_unique<JsonView>(StandardOutput());
    }
    switch (options.mode) {
        case Mode::Burn:
        case Mode::Check:
            return std::make_unique<PersonView>(console);
        case Mode::Several:
        case Mode::Watch:
            return std::make_unique<TableView>(StandardOutput(), terminal, options.ports, columns,
                                               options.labels, options.record);
        case Mode::Identify:
        case Mode::Again:
        case Mode::History:
        case Mode::Yield:
        case Mode::Import:
        case Mode::List:
        case Mode::ListPorts:
        case Mode::Models:
        case Mode::Version:
        case Mode::Help:
            break;
    }
    return std::make_unique<ReportView>(StandardOutput());
}

// The placeholder's bytes are never burnt into a real PLC; empty when `image` may be burnt.
std::string PlaceholderProblem(const Options& options, const line::RunImage& image) {
    if (!image.placeholder || options.placeholder) {
        return "";
    }
    return std::string(image.fromFile
                           ? "that image is the generated PLACEHOLDER of a development build"
                           : "this program carries a generated PLACEHOLDER image") +
           ", not firmware for a real PLC: give the firmware file with --image FILE (or pass "
           "--placeholder to burn the placeholder into a simulated PLC)";
}

// The checks a burn of any kind passes before a port is opened; 0 when it may go on.
int BurnPrecheck(const Options& options, const PlcModel& model) {
    if (const std::string problem = PlaceholderProblem(options, line::TheRunImage());
        !problem.empty()) {
        return UsageError(problem);
    }
    // A check stops before the hand-over, so no prompt ever comes; a station's
    // burns answer them by the PLC's own replug.
    const bool answersPrompts =
        options.yes || options.check || options.awaitReplug || options.mode == Mode::Watch;
    if (options.mode == Mode::Several && !answersPrompts) {
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
    std::string error;
    if (!options.record.empty() && !machine::CanAppend(options.record, error)) {
        return UsageError(error);
    }
    return line::kExitSuccess;
}

// The images of a station: each --image, every firmware file of --image-dir, or
// the built-in one. False with `error` set when they do not check out.
bool ReadStationImages(const Options& options, line::ImageSet& images, std::string& error) {
    line::ImageSet read;
    if (!options.imageDir.empty()) {
        std::vector<std::string> ignored;
        if (!line::ReadImageDir(options.imageDir, read, ignored, error)) {
            return false;
        }
        for (const std::string& name : ignored) {
            line::Warn("ignored in " + options.imageDir + ": " + name);
        }
    } else if (options.image.empty()) {
        read.Add(line::BuiltInImage(), error);
    } else {
        std::vector<std::string> files{options.image};
        files.insert(files.end(), options.moreImages.begin(), options.moreImages.end());
        for (const std::string& file : files) {
            line::RunImage image;
            if (!line::ReadImageFile(file, options.imageName, image, error) ||
                !read.Add(std::move(image), error)) {
                return false;
            }
        }
    }
    for (const auto& image : read.all()) {
        if (const std::string problem = PlaceholderProblem(options, *image); !problem.empty()) {
            error = image->name + ": " + problem;
            return false;
        }
    }
    images = std::move(read);
    return true;
}

// Hands the page each socket's yield over the shift from the record database,
// now and then, on a thread of its own; nothing without both.
class ShiftFeed {
  public:
    ShiftFeed(StationPage* page, StationRecordDb* recordDb) {
        if (page != nullptr && recordDb != nullptr) {
            thread_ = std::thread([this, page, recordDb] {
                std::unique_lock<std::mutex> lock(mutex_);
                do {
                    lock.unlock();
                    page->ShowShift(recordDb->Shift());
                    lock.lock();
                } while (
                    !stopped_.wait_for(lock, std::chrono::seconds(10), [this] { return stop_; }));
            });
        }
    }
    ~ShiftFeed() { Stop(); }
    ShiftFeed(const ShiftFeed&) = delete;
    ShiftFeed& operator=(const ShiftFeed&) = delete;
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        stopped_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    std::thread thread_;
};

// A station, for as long as it is not stopped.
int Watch(const Options& options, line::ImageSet images, EventView& view,
          line::Controls& controls) {
    std::string error;
    const std::optional<std::vector<line::WatchedPort>> ports = WatchedPorts(options, error);
    if (!ports) {
        return UsageError(error);
    }
    // A burn that says nothing this long is ended; a test setting shortens it.
    std::chrono::seconds silence{60};
    if (const char* limit = TestSettingValue(TestSetting::SilenceLimit)) {
        const int seconds = std::atoi(limit);
        silence = seconds > 0 && seconds <= 3600 ? std::chrono::seconds(seconds) : silence;
    }
    // The page is served before the first look, so that the station's first
    // event says where.
    std::unique_ptr<StationPage> page;
    if (!options.http.empty() && !(page = ServeStationPage(options, error))) {
        return UsageError(error);
    }
    std::unique_ptr<StationRecordDb> recordDb;
    if (!options.recordDb.empty() && !(recordDb = OpenStationRecordDb(options, error))) {
        return UsageError(error);
    }
    BothViews both(view, page ? page->View() : view);
    line::MachineWorld world(
        options.record,
        recordDb ? std::function<line::LineWord(const line::UnitAsk&)>(
                       [&recordDb](const line::UnitAsk& ask) { return recordDb->AskLine(ask); })
                 : nullptr);
    line::ProcessSupervisor burns(BurnSettingsOf(options), silence);
    line::EventPump pump(page ? static_cast<EventView&>(both) : view);
    // Files are read again on a hang-up; the built-in image and one read from
    // standard input stay as they are.
    const bool files =
        !options.imageDir.empty() || (!options.image.empty() && options.image != "-");
    line::StationSettings settings{*ports,  options.check,           std::move(images),
                                   nullptr, page ? page->Url() : "", nullptr};
    if (recordDb) {
        settings.keep = [&recordDb](const std::string& line, std::string& why) {
            return recordDb->Keep(line, why);
        };
    }
    if (files) {
        settings.reread = [&options](line::ImageSet& fresh, std::string& why) {
            return ReadStationImages(options, fresh, why);
        };
    }
    // The page's yield per socket comes from the record database, asked
    // beside the station's loop.
    ShiftFeed feed(page.get(), recordDb.get());
    const int status = line::RunStation(settings, world, burns, pump, controls);
    feed.Stop();
    pump.Drain();
    if (recordDb) {
        recordDb->Stop();
    }
    if (page) {
        page->Stop();
    }
    return status;
}

// --again SERIAL: the unit a station set aside is burnt once more when it comes.
int AskAgain(const std::string& usbSerial) {
    std::string error;
    if (!machine::AskAgain(usbSerial, error)) {
        StandardError().Write(std::string(platform::CommandName()) + ": " + ForPerson(error) +
                              "\n");
        return line::kExitBurnFailed;
    }
    StandardOutput().Write("the station that set aside the unit with the USB serial number " +
                           ForPerson(usbSerial) + " burns it once more when it is plugged in\n");
    return line::kExitSuccess;
}

// --list: a line per port that could hold a PLC.
int List(EventView& view) {
    line::EventPump pump(view);
    for (const machine::PortRow& row : machine::ListPorts()) {
        pump.Put(line::BurnEvent{
            row.name, line::PortFields{row.kind, row.usbSerial, row.usbPath, row.device}});
    }
    return line::kExitSuccess;
}

// --identify: what is on each port named, or on each PLC on USB.
int Identify(const Options& options, EventView& view) {
    platform::CatchSignals();
    const std::vector<std::string> ports =
        options.ports.empty() ? line::PlcsOnUsb() : options.ports;
    if (ports.empty()) {
        StandardError().Write(std::string(platform::CommandName()) +
                              ": no PLC found on USB; name the ports to ask with --port\n");
        return line::kExitBurnFailed;
    }
    line::EventPump pump(view);
    const bool told =
        line::IdentifyPorts(ports, std::chrono::seconds(options.replugTimeoutSeconds), pump);
    return told ? line::kExitSuccess : line::kExitBurnFailed;
}

// Several PLCs at once, a burn process each.
int BurnSeveral(const Options& options, EventView& view, line::Controls& controls) {
    line::ProcessSupervisor burns(BurnSettingsOf(options), std::chrono::hours(24 * 365));
    line::EventPump pump(view);
    return line::BurnSeveralPlcs(options.ports, burns, pump, controls);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        return UsageError(error);
    }
    line::SetWarningSink([](const std::string& text) {
        StandardError().Write(std::string(platform::CommandName()) +
                              ": warning: " + ForPerson(text) + "\n");
    });
    if (options.mode == Mode::Help) {
        StandardOutput().Write(UsageText());
        return line::kExitSuccess;
    }
    if (options.mode == Mode::Models) {
        for (int i = 0; i < kModelCount; ++i) {
            StandardOutput().Write(std::string(ModelAt(i).name) + "\n");
        }
        return line::kExitSuccess;
    }
    if (options.mode == Mode::Again) {
        return AskAgain(options.again);
    }
    if (options.mode == Mode::History) {
        return ShowHistory(options);
    }
    if (options.mode == Mode::Yield) {
        return ShowYield(options);
    }
    if (options.mode == Mode::Import) {
        return ImportRecord(options);
    }
    // The image of this run (a station's: the first of its images), read and
    // judged before any port is opened.
    // The built-in one is digested only when it is the one.
    line::RunImage image;
    line::ImageSet stationImages;
    if (options.mode == Mode::Watch) {
        if (!ReadStationImages(options, stationImages, error)) {
            return UsageError(error);
        }
        image = *stationImages.all().front();
    } else if (options.image.empty()) {
        image = line::BuiltInImage();
    } else if (!line::ReadImageFile(options.image, options.imageName, image, error)) {
        return UsageError(error);
    }
    if (!options.expectSha256.empty()) {
        if (const std::string problem = line::DigestProblem(image, options.expectSha256);
            !problem.empty()) {
            return UsageError(problem);
        }
    }
    line::SetRunImage(std::move(image));
    SelectModel(line::TheRunImage().modelIndex);
    const PlcModel& model = SelectedModel();
    // With --json, standard output carries the JSON lines alone; a prompt goes to
    // standard error.
    const bool terminal = platform::IsTerminal(stdout);
    Console console(options.json ? StandardError() : StandardOutput(), StandardError(),
                    terminal && !options.json, [] { return platform::TerminalColumns(stdout); });
    const std::unique_ptr<EventView> view = MakeView(options, console);
    switch (options.mode) {
        case Mode::Version:
            StandardOutput().Write(VersionText());
            return line::kExitSuccess;
        case Mode::ListPorts: {
            const std::vector<std::string> ports = model.linkKind == LinkKind::Usb
                                                       ? std::vector<std::string>{"USB"}
                                                       : machine::WindowPortNames();
            for (const std::string& port : ports) {
                StandardOutput().Write(ForPerson(port) + "\n");
            }
            return line::kExitSuccess;
        }
        case Mode::List:
            return List(*view);
        case Mode::Identify:
            return Identify(options, *view);
        case Mode::Again:
        case Mode::History:
        case Mode::Yield:
        case Mode::Import:
        case Mode::Burn:
        case Mode::Check:
        case Mode::Several:
        case Mode::Watch:
        case Mode::Models:
        case Mode::Help:
            break;
    }
    if (const int refused = BurnPrecheck(options, model); refused != line::kExitSuccess) {
        return refused;
    }
    ChoosePort(options, model);
    platform::CatchSignals();
    SignalControls controls;
    if (options.mode == Mode::Watch) {
        const int status = Watch(options, std::move(stationImages), *view, controls);
        view->Close();
        return status;
    }
    if (options.mode == Mode::Several) {
        const int status = BurnSeveral(options, *view, controls);
        view->Close();
        return status;
    }
    const BurnResult result =
        BurnOnePlc(options, options.ports.empty() ? "" : options.ports.front(), console, *view);
    if (result.threadLeft) {
        // The burn's thread waits where it was cut short; the process ends here.
        std::_Exit(result.exitStatus);
    }
    return result.exitStatus;
}
