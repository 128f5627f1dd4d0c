#include "ui/cli/identify.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "burn/catalogue.h"
#include "burn/untrusted_text.h"
#include "burn/variant_checks.h"
#include "link/app_commands.h"
#include "link/boot_commands.h"
#include "ui/cli/burn_events.h"
#include "ui/cli/burn_record.h"
#include "ui/cli/output.h"
#include "ui/cli/platform.h"
#include "ui/cli/quiet_panel.h"

namespace norvane::cli {

namespace {

using Mode = PlcIdentity::Mode;

// The exchanges' view of a PLC whose model is not known: only how it is
// framed, which is all that reading needs.
PlcModel Framing(bool usbDevice, bool aioUnit) {
    PlcModel probe{};
    probe.linkKind = usbDevice ? LinkKind::Usb : LinkKind::Serial;
    probe.aioFraming = aioUnit;
    return probe;
}

bool AnyOf(const std::vector<int>& models, bool (*has)(const PlcModel&)) {
    for (const int m : models) {
        if (has(ModelAt(m))) {
            return true;
        }
    }
    return false;
}

std::string Names(const std::vector<int>& models, const char* separator) {
    std::string names;
    for (const int m : models) {
        names += (names.empty() ? "" : separator) + std::string(ModelAt(m).name);
    }
    return names;
}

// Keeps the models whose variant check the registers read pass; all of them
// when a register did not answer (then nothing tells them apart).
void NarrowByRegisters(PlcIdentity& id) {
    for (const auto& [number, value] : id.registers) {
        if (!value) {
            return;
        }
    }
    std::vector<int> kept;
    for (const int m : id.models) {
        const auto read = [&id](std::uint16_t number) { return id.registers[number].value_or(0); };
        if (VariantCheckFailure(ModelAt(m), read) == nullptr) {
            kept.push_back(m);
        }
    }
    id.models = kept;
}

}  // namespace

std::vector<int> CandidateModels(Mode mode, std::uint16_t type, bool usbDevice, bool aioUnit) {
    std::vector<int> models;
    const LinkKind kind = usbDevice ? LinkKind::Usb : LinkKind::Serial;
    for (int i = 0; i < kModelCount; ++i) {
        const PlcModel& model = ModelAt(i);
        const bool matches = mode == Mode::Bootloader ? BootTypeMatches(kind, plcID[i], type)
                                                      : AppTypeMatches(plcID[i], type);
        if (matches && model.linkKind == kind && model.aioFraming == aioUnit) {
            models.push_back(i);
        }
    }
    return models;
}

PlcIdentity IdentifyPlc(Link& link, bool usbDevice) {
    PlcIdentity id;
    id.usbDevice = usbDevice;
    QuietPanel panel;
    PlcModel probe = Framing(usbDevice, false);
    const ExchangeContext x{link, probe, panel.counters};
    DummyComm(x);
    AppResult mode = ConfirmComm(x);
    const bool refused = mode != AppResult::InApplication && mode != AppResult::InBootloader &&
                         mode != AppResult::RunMode && mode != AppResult::NoResponse;
    if (refused) {
        // A PLC that refuses the usual unit byte may be one framed with the AIO one;
        // a silent line is empty either way, and is not asked twice.
        probe.aioFraming = true;
        mode = ConfirmComm(x);
    }
    if (mode == AppResult::RunMode) {
        id.mode = Mode::RunMode;
        return id;
    }
    if (mode != AppResult::InApplication && mode != AppResult::InBootloader) {
        return id;
    }
    id.mode = mode == AppResult::InApplication ? Mode::Application : Mode::Bootloader;
    id.aioUnit = probe.aioFraming;
    const bool answered = id.mode == Mode::Application ? ReadTypeId_A(x, id.type) == AppResult::Ok
                                                       : ReadTypeId_B(x, id.type) == BootResult::Ok;
    if (!answered || !id.type) {
        id.type.reset();
        return id;
    }
    id.models = CandidateModels(id.mode, *id.type, usbDevice, id.aioUnit);
    if (AnyOf(id.models, [](const PlcModel& m) { return m.readsBootVersion; })) {
        id.versionAsked = true;
        if (id.mode == Mode::Application) {
            id.bootVersion = ReadBootVersion_A(x);
        } else if (std::uint8_t version = 0; read_fu_version_B(x, version) == BootResult::Ok) {
            id.bootVersion = version;
        }
    }
    if (id.mode == Mode::Application && id.models.size() > 1) {
        for (const int m : id.models) {
            for (const std::uint16_t number : VariantRegisters(ModelAt(m).variantCheck)) {
                if (id.registers.count(number) == 0) {
                    id.registers[number] = ReadDataRegister(x, number);
                }
            }
        }
        NarrowByRegisters(id);
    }
    return id;
}

std::string DescribeIdentity(const PlcIdentity& id) {
    switch (id.mode) {
        case Mode::None:
            return "no PLC answered";
        case Mode::RunMode:
            return "a PLC in RUN mode: switch it to STOP, then ask again";
        case Mode::Application:
        case Mode::Bootloader:
            break;
    }
    if (!id.type) {
        return "a PLC answered its mode but not its type";
    }
    std::string text;
    if (id.models.empty()) {
        text = "type " + Hex16(*id.type) + ", which is no model of this program";
    } else if (id.models.size() == 1) {
        text = std::string(ModelAt(id.models.front()).name) + " (type " + Hex16(*id.type) + ")";
    } else {
        text = Names(id.models, " or ") + " (type " + Hex16(*id.type) + ")";
    }
    text += id.mode == Mode::Application
                ? ", running its application"
                : ", waiting in its bootloader: it stays there until it is burned";
    if (id.versionAsked) {
        text += id.bootVersion ? ", bootloader version " + Hex8(*id.bootVersion)
                               : ", its bootloader version did not answer";
    }
    bool silent = false;
    for (const auto& [number, value] : id.registers) {
        silent = silent || !value;
    }
    if (id.models.size() > 1) {
        text += id.mode == Mode::Bootloader ? "; a bootloader does not tell these apart"
                : silent                    ? "; the registers that tell them apart did not answer"
                                            : "; nothing it answers tells them apart";
    }
    return text;
}

JsonObject IdentifyEvent(const std::string& port, const PlcIdentity& id, const std::string& device,
                         const std::string& usbPath, const std::string& usbSerial) {
    static const char* const kModes[] = {"", "application", "bootloader", "run"};
    JsonObject event = NewEvent(kEventIdentify, port);
    event.SetTextOrNull("device", device)
        .SetTextOrNull("usb_path", usbPath)
        .SetTextOrNull("usb_serial", usbSerial)
        .SetTextOrNull("mode", kModes[static_cast<int>(id.mode)])
        .Set("framing", id.usbDevice ? "usb" : "serial")
        .SetTextOrNull("unit", id.mode == Mode::Application || id.mode == Mode::Bootloader
                                   ? (id.aioUnit ? "0x5B" : "0x59")
                                   : "")
        .SetTextOrNull("plc_type", id.type ? Hex16(*id.type) : "");
    const auto answer = [](const auto& value, std::string (*hex)(std::uint32_t)) {
        return value ? hex(*value) : std::string("no answer");
    };
    if (id.versionAsked) {
        event.Set("boot_version", answer(id.bootVersion, Hex8));
    } else {
        event.SetNull("boot_version");
    }
    for (const std::uint16_t number :
         {std::uint16_t{1386}, std::uint16_t{1001}, std::uint16_t{1148}}) {
        const std::string key = "d" + std::to_string(number);
        const auto asked = id.registers.find(number);
        if (asked == id.registers.end()) {
            event.SetNull(key);
        } else {
            event.Set(key, answer(asked->second, Hex16));
        }
    }
    event.SetTextOrNull("model", id.models.size() == 1 ? ModelAt(id.models.front()).name : "")
        .Set("models", Names(id.models, ","))
        .Set("message", DescribeIdentity(id));
    return event;
}

int IdentifyPorts(const Options& options) {
    std::vector<std::string> ports = options.ports;
    if (ports.empty()) {
        // Never a serial port nobody named: it may hold other equipment.
        for (const platform::PortRow& row : platform::ListPorts()) {
            if (row.kind == "plc-usb") {
                ports.push_back(row.name);
            }
        }
    }
    if (ports.empty()) {
        StandardError().Write(std::string(platform::CommandName()) +
                              ": no PLC found on USB; name the ports to ask with --port\n");
        return 1;
    }
    std::mutex mutex;
    std::atomic<bool> allTold{true};
    std::vector<std::thread> threads;
    threads.reserve(ports.size());
    for (const std::string& port : ports) {
        threads.emplace_back([&, port] {
            const platform::PortCheck check = platform::CheckPort(port);
            std::unique_ptr<platform::PortOpening> opening = platform::MakePortOpening(
                port, std::chrono::seconds(options.replugTimeoutSeconds), platform::PortUse::Ask);
            LinkPtr link = check.plcUsb ? opening->OpenUsbPlc() : opening->OpenSerial(port);
            PlcIdentity id;
            id.usbDevice = check.plcUsb;
            std::string line;
            if (link) {
                id = IdentifyPlc(*link, check.plcUsb);
                line = DescribeIdentity(id);
            } else {
                line = opening->LastFailure();
            }
            if (id.models.empty()) {
                allTold.store(false);
            }
            std::lock_guard<std::mutex> lock(mutex);
            if (options.json) {
                JsonObject event = IdentifyEvent(port, id, opening->Device(), opening->UsbPath(),
                                                 opening->UsbSerial());
                if (!link) {
                    event.Set("message", line);
                }
                StandardOutput().Write(event.ToString() + "\n");
            } else {
                line.insert(0, port + ": ");
                StandardOutput().Write(ForPerson(line).append("\n"));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return allTold.load() ? 0 : 1;
}

}  // namespace norvane::cli
