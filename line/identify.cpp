#include "line/identify.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "burn/catalogue.h"
#include "burn/variant_checks.h"
#include "line/burn_record.h"
#include "line/machine.h"
#include "line/quiet_panel.h"
#include "link/app_commands.h"
#include "link/boot_commands.h"

namespace norvane::line {

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

std::vector<int> CandidateModels(Mode mode, std::uint16_t type, bool aioUnit) {
    std::vector<int> models;
    for (int i = 0; i < kModelCount; ++i) {
        const PlcModel& model = ModelAt(i);
        // A model's own link kind, never the port's: a USB model behind a serial
        // adapter is burnt, and checked, by its own rules.
        const bool matches = mode == Mode::Bootloader
                                 ? BootTypeMatches(model.linkKind, plcID[i], type)
                                 : AppTypeMatches(plcID[i], type);
        if (matches && model.aioFraming == aioUnit) {
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
    if (refused || mode == AppResult::NoResponse) {
        // A PLC that refuses the usual unit byte may be one framed with the AIO one,
        // and so may one that answers only its own unit and kept silent. A live PLC
        // answers its unit at the first ask, so silence costs one more read time-out,
        // not six.
        probe.aioFraming = true;
        mode = ConfirmComm(x, refused ? kFailureLimit : 1);
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
    id.models = CandidateModels(id.mode, *id.type, id.aioUnit);
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
    const LinkKind port = id.usbDevice ? LinkKind::Usb : LinkKind::Serial;
    if (!id.models.empty() && ModelAt(id.models.front()).linkKind != port) {
        text += port == LinkKind::Serial
                    ? "; a USB model, here on a serial port (a serial adapter or a simulated PLC)"
                    : "; a serial model, here on a PLC's own USB device";
    }
    if (id.models.size() > 1) {
        text += id.mode == Mode::Bootloader ? "; a bootloader does not tell these apart"
                : silent                    ? "; the registers that tell them apart did not answer"
                                            : "; nothing it answers tells them apart";
    }
    return text;
}

BurnEvent IdentifyEvent(const std::string& port, const PlcIdentity& id, const std::string& device,
                        const std::string& usbPath, const std::string& usbSerial) {
    static const char* const kModes[] = {"", "application", "bootloader", "run"};
    const auto answer = [](const auto& value, std::string (*hex)(std::uint32_t)) {
        return value ? hex(*value) : std::string("no answer");
    };
    const auto asked = [&](std::uint16_t number) {
        const auto reg = id.registers.find(number);
        return reg == id.registers.end() ? std::string() : answer(reg->second, Hex16);
    };
    const bool answered = id.mode == Mode::Application || id.mode == Mode::Bootloader;
    IdentifyFields f;
    f.device = device;
    f.usbPath = usbPath;
    f.usbSerial = usbSerial;
    f.mode = kModes[static_cast<int>(id.mode)];
    f.framing = id.usbDevice ? "usb" : "serial";
    f.unit = answered ? (id.aioUnit ? "0x5B" : "0x59") : "";
    f.plcType = id.type ? Hex16(*id.type) : "";
    f.bootVersion = id.versionAsked ? answer(id.bootVersion, Hex8) : "";
    f.d1386 = asked(1386);
    f.d1001 = asked(1001);
    f.d1148 = asked(1148);
    f.model = id.models.size() == 1 ? ModelAt(id.models.front()).name : "";
    f.models = Names(id.models, ",");
    f.message = DescribeIdentity(id);
    return BurnEvent{port, std::move(f)};
}

std::vector<std::string> PlcsOnUsb() {
    std::vector<std::string> ports;
    for (const machine::PortRow& row : machine::ListPorts()) {
        if (row.kind == "plc-usb") {
            ports.push_back(row.name);
        }
    }
    return ports;
}

PortIdentity IdentifyPort(const std::string& port, std::chrono::seconds replugTimeout,
                          machine::PortUse use) {
    const machine::PortCheck check = machine::CheckPort(port);
    std::unique_ptr<machine::PortOpening> opening =
        machine::MakePortOpening(port, replugTimeout, use);
    LinkPtr link = check.plcUsb ? opening->OpenUsbPlc() : opening->OpenSerial(port);
    PlcIdentity id;
    id.usbDevice = check.plcUsb;
    if (link) {
        id = IdentifyPlc(*link, check.plcUsb);
    }
    BurnEvent event =
        IdentifyEvent(port, id, opening->Device(), opening->UsbPath(), opening->UsbSerial());
    if (!link) {
        std::get<IdentifyFields>(event.fields).message = opening->LastFailure();
    }
    return PortIdentity{std::move(id), std::move(event)};
}

bool IdentifyPorts(const std::vector<std::string>& ports, std::chrono::seconds replugTimeout,
                   EventSink& sink) {
    std::mutex mutex;
    std::atomic<bool> allTold{true};
    std::vector<std::thread> threads;
    threads.reserve(ports.size());
    for (const std::string& port : ports) {
        threads.emplace_back([&, port] {
            PortIdentity found = IdentifyPort(port, replugTimeout);
            if (found.plc.models.empty()) {
                allTold.store(false);
            }
            std::lock_guard<std::mutex> lock(mutex);
            sink.Put(std::move(found.event));
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return allTold.load();
}

}  // namespace norvane::line
