// What a PLC of unknown model is, asked with requests that only read: its mode,
// its type identifier, its bootloader version where its type's models read it,
// and where several models share the type, the registers that tell them apart.
// Never an erase request, "ERASE", "UPDATE" or a block.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "line/burn_event.h"
#include "line/event_pump.h"
#include "line/machine.h"
#include "link/link.h"

namespace norvane::line {

struct PlcIdentity {
    enum class Mode : std::uint8_t { None, Application, Bootloader, RunMode };
    bool usbDevice = false;  // the PLC's own USB device: read as a Usb model
    Mode mode = Mode::None;
    bool aioUnit = false;               // the mode query answered with the AIO unit byte
    std::optional<std::uint16_t> type;  // what "ID" reported
    bool versionAsked = false;
    std::optional<std::uint8_t> bootVersion;
    std::map<std::uint16_t, std::optional<std::uint16_t>> registers;  // asked, by number
    std::vector<int> models;  // the catalogue's models it can be
};

// Asks the PLC on `link` what it is. `usbDevice`: the link is the PLC's own USB
// device (else a serial port at 9600 7E1).
PlcIdentity IdentifyPlc(Link& link, bool usbDevice);

// The catalogue's models that a PLC in `mode` reporting `type` can be, by the
// rules the burn's type checks use, of its unit byte. The port's kind does not
// rule a model out: a burn reaches a USB model on a serial port just the same.
std::vector<int> CandidateModels(PlcIdentity::Mode mode, std::uint16_t type, bool aioUnit);

// What was found, in plain words for a person, and as an `identify` event.
std::string DescribeIdentity(const PlcIdentity& identity);
// The ports of every PLC on USB: what is asked without --port, never a serial
// port nobody named (it may hold other equipment).
std::vector<std::string> PlcsOnUsb();

// What one port holds: the PLC's identity and the identify event that tells it.
struct PortIdentity {
    PlcIdentity plc;
    BurnEvent event;
};
// `use`: Burn where nothing may be sent to the PLC without its lock (a
// station's unit); Ask goes on without it where it cannot be had.
PortIdentity IdentifyPort(const std::string& port, std::chrono::seconds replugTimeout,
                          machine::PortUse use = machine::PortUse::Ask);

// Asks each of `ports` at once, each told to `sink` as an identify event. False
// when a port showed no model.
bool IdentifyPorts(const std::vector<std::string>& ports, std::chrono::seconds replugTimeout,
                   EventSink& sink);

BurnEvent IdentifyEvent(const std::string& port, const PlcIdentity& identity,
                        const std::string& device, const std::string& usbPath,
                        const std::string& usbSerial);

}  // namespace norvane::line
