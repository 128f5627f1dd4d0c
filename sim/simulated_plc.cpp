// The PLC's life cycle, its input buffer, the line and the reconnects.
#include "simulated_plc.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "request_kinds.h"

namespace plcsim {
namespace {

const SimModel& ModelOrThrow(const std::string& name) {
    const SimModel* model = FindSimModel(name);
    if (model == nullptr) {
        throw std::invalid_argument("unknown PLC model: " + name);
    }
    return *model;
}

const char* ModeName(PlcMode mode) {
    switch (mode) {
        case PlcMode::Application:
            return "application";
        case PlcMode::Restarting:
            return "restarting";
        case PlcMode::AwaitingReplug:
            return "waiting for a USB replug";
        case PlcMode::AwaitingPower:
            return "waiting for a power cycle";
        case PlcMode::Bootloader:
            return "bootloader";
    }
    return "?";
}

}  // namespace

SimulatedPlc::SimulatedPlc(PlcConfig config)
    : config_(std::move(config)),
      model_(ModelOrThrow(config_.model)),
      flash_(model_.flashSize, model_.eraseUnit),
      mode_(config_.initialMode == PlcMode::Bootloader ? PlcMode::Bootloader
                                                       : PlcMode::Application),
      rng_(config_.noiseSeed.value_or(0)) {}

bool SimulatedPlc::Listening() const {
    return config_.attached && (mode_ == PlcMode::Application || mode_ == PlcMode::Bootloader);
}

void SimulatedPlc::Receive(const std::uint8_t* data, std::size_t count, std::uint64_t nowMs) {
    AdvanceTo(nowMs);
    received_.insert(received_.end(), data, data + count);
    if (!Listening()) {
        counters_.droppedBytes += static_cast<std::uint32_t>(count);
        return;
    }
    // A request whose rest never came is forgotten, as the PLC's receiver would.
    if (!input_.empty() && nowMs - lastInputAtMs_ > config_.interByteTimeoutMs) {
        counters_.garbageBytes += static_cast<std::uint32_t>(input_.size());
        input_.clear();
    }
    input_.insert(input_.end(), data, data + count);
    lastInputAtMs_ = nowMs;
    while (!input_.empty() && Listening()) {
        const std::size_t used = ParseOne(nowMs);
        if (used == 0) {
            break;
        }
        // A request that restarted the PLC has already emptied the buffer.
        const std::size_t drop = used < input_.size() ? used : input_.size();
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(drop));
    }
}

std::size_t SimulatedPlc::ParseOne(std::uint64_t nowMs) {
    if (mode_ == PlcMode::Application) {
        if (input_[0] != ':') {
            ++counters_.garbageBytes;
            return 1;
        }
        return ParseFrame(nowMs);
    }
    return ParseBootloader(nowMs);
}

std::size_t SimulatedPlc::Transmit(std::uint8_t* out, std::size_t max, std::uint64_t nowMs) {
    AdvanceTo(nowMs);
    std::size_t n = 0;
    while (n < max && !out_.empty() && out_.front().atMs <= nowMs) {
        out[n++] = out_.front().byte;
        out_.pop_front();
    }
    return n;
}

std::optional<std::uint64_t> SimulatedPlc::NextReplyTime() const {
    if (out_.empty()) {
        return std::nullopt;
    }
    return out_.front().atMs;
}

void SimulatedPlc::AdvanceTo(std::uint64_t nowMs) {
    if (mode_ == PlcMode::Restarting && nowMs >= restartAtMs_) {
        EnterBootloader();
    }
}

void SimulatedPlc::OnLineSettings(std::uint32_t baud, std::uint8_t dataBits, Parity parity,
                                  std::uint8_t stopBits, std::uint64_t nowMs) {
    LineState line;
    line.baud = baud;
    line.dataBits = dataBits;
    line.parity = parity;
    line.stopBits = stopBits;
    if (lineHistory_.empty() || line != line_) {
        lineHistory_.push_back({line, nowMs});
    }
    line_ = line;
}

void SimulatedPlc::OnLinkOpened(std::uint64_t nowMs) {
    AdvanceTo(nowMs);
    linkOpen_ = true;
    if (config_.reopenIsReconnect && closedWhileAwaiting_) {
        if (mode_ == PlcMode::AwaitingReplug) {
            Replug();
        } else if (mode_ == PlcMode::AwaitingPower) {
            PowerCycle();
        }
    } else if (config_.reopenIsReconnect && mode_ == PlcMode::Bootloader && freshFirmware_ &&
               config_.newFirmwareStarts) {
        // The replug or power cycle after a burn: the new firmware runs.
        LeaveForApplication();
    } else if (mode_ == PlcMode::Bootloader) {
        // A new connection starts the bootloader's conversation from the beginning.
        StartBootSession();
    }
    closedWhileAwaiting_ = false;
}

void SimulatedPlc::OnLinkClosed(std::uint64_t nowMs) {
    AdvanceTo(nowMs);
    linkOpen_ = false;
    input_.clear();
    out_.clear();  // what nobody read is gone with the port
    closedWhileAwaiting_ = mode_ == PlcMode::AwaitingReplug || mode_ == PlcMode::AwaitingPower;
}

void SimulatedPlc::Replug() {
    if (model_.link != LinkKind::Usb) {
        return;  // a serial PLC keeps running when its cable is replugged
    }
    if (mode_ == PlcMode::AwaitingReplug) {
        EnterBootloader();
    } else if (mode_ == PlcMode::Bootloader) {
        if (counters_.transferCompleted) {
            LeaveForApplication();
        } else {
            StartBootSession();
        }
    }
}

void SimulatedPlc::PowerCycle() {
    switch (mode_) {
        case PlcMode::AwaitingReplug:
        case PlcMode::AwaitingPower:
        case PlcMode::Restarting:
            EnterBootloader();
            break;
        case PlcMode::Bootloader:
            if (counters_.transferCompleted) {
                LeaveForApplication();
            } else {
                EnterBootloader();  // the application is gone: the bootloader comes up again
            }
            break;
        case PlcMode::Application:
            input_.clear();
            eraseArmed_ = false;
            break;
    }
}

void SimulatedPlc::StartHandover(std::uint64_t nowMs) {
    ++counters_.handovers;
    input_.clear();
    switch (model_.handover) {
        case Handover::InPlace:
            mode_ = PlcMode::Restarting;
            restartAtMs_ = nowMs + config_.restartDelayMs;
            break;
        case Handover::Replug:
            mode_ = PlcMode::AwaitingReplug;
            break;
        case Handover::PowerCycle:
            mode_ = PlcMode::AwaitingPower;
            break;
    }
}

void SimulatedPlc::EnterBootloader() {
    mode_ = PlcMode::Bootloader;
    StartBootSession();
}

void SimulatedPlc::StartBootSession() {
    input_.clear();
    flash_.StartSession();
    updateReceived_ = false;
    expectedBlock_ = 1;
    lastAcked_.reset();
}

void SimulatedPlc::LeaveForApplication() {
    freshFirmware_ = false;
    mode_ = PlcMode::Application;
    input_.clear();
    eraseArmed_ = false;
}

bool SimulatedPlc::LineOk(Exchange kind) const {
    if (model_.link == LinkKind::Usb) {
        return true;
    }
    const bool transfer = mode_ == PlcMode::Bootloader && updateReceived_ &&
                          (kind == Exchange::Block || kind == Exchange::TransferEnd);
    LineState want;
    want.baud = transfer ? 115200 : 9600;
    want.dataBits = transfer ? 8 : 7;
    want.parity = transfer ? Parity::None : Parity::Even;
    want.stopBits = 1;
    if (!config_.checkFraming) {
        return line_.baud == want.baud;
    }
    return line_ == want;
}

void SimulatedPlc::Log(Exchange kind, const std::uint8_t* bytes, std::size_t count,
                       std::uint64_t nowMs) {
    const bool ok = LineOk(kind);
    if (!ok) {
        ++counters_.speedViolations;
    }
    requests_.push_back({kind, std::vector<std::uint8_t>(bytes, bytes + count), nowMs, mode_, ok});
}

bool SimulatedPlc::ConsumeWriteFailure(const std::uint8_t* data, std::size_t count) {
    if (config_.faults.Empty()) {
        return false;
    }
    const auto kind = ClassifyWrite(data, count, mode_ == PlcMode::Bootloader, updateReceived_);
    return kind && config_.faults.NextWriteFails(*kind);
}

bool SimulatedPlc::FlashHoldsImage(const std::uint8_t* image, std::size_t count) const {
    if (count < model_.reservedTail) {
        return false;
    }
    const std::size_t taken = count - model_.reservedTail;
    const std::size_t blocks = (taken + model_.blockSize - 1) / model_.blockSize;
    const std::size_t written = flash_.WrittenBytes();
    if (written != blocks * model_.blockSize || !flash_.Equals(image, taken)) {
        return false;
    }
    const auto& bytes = flash_.Bytes();
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(taken),
                       bytes.begin() + static_cast<std::ptrdiff_t>(written),
                       [](std::uint8_t b) { return b == 0x1A; });
}

std::size_t SimulatedPlc::CountRequests(Exchange kind) const {
    std::size_t n = 0;
    for (const RequestRecord& r : requests_) {
        if (kind == Exchange::Any || r.kind == kind) {
            ++n;
        }
    }
    return n;
}

// The baud rates the tool set on the line, in order, each change once.
std::string SimulatedPlc::SpeedsSeen() const {
    std::string speeds;
    std::uint32_t last = 0;
    for (const LineChange& change : lineHistory_) {
        if (change.line.baud != 0 && change.line.baud != last) {
            speeds += " " + std::to_string(change.line.baud);
            last = change.line.baud;
        }
    }
    return speeds.empty() ? " none" : speeds;
}

std::string SimulatedPlc::Summary() const {
    const SimCounters& c = counters_;
    std::ostringstream s;
    s << "model: " << model_.name << "\n"
      << "mode: " << ModeName(mode_) << "\n"
      << "requests: " << requests_.size() << "\n"
      << "mode queries: " << CountRequests(Exchange::ModeQuery) << "\n"
      << "handovers to bootloader: " << c.handovers << "\n"
      << "erase commands: " << c.eraseCommands << " (refused " << c.eraseRefused << ")\n"
      << "erased bytes: " << flash_.ErasedBytes() << "\n"
      << "blocks written: " << c.blocksWritten << " (" << flash_.WrittenBytes() << " bytes)\n"
      << "duplicate blocks: " << c.duplicates << "\n"
      << "NAKs sent: " << c.naksSent << "\n"
      << "write errors sent: " << c.writeErrorsSent << "\n"
      << "bad frames: " << c.badFrames << "\n"
      << "garbage bytes: " << c.garbageBytes << "\n"
      << "dropped bytes: " << c.droppedBytes << "\n"
      << "line speeds seen:" << SpeedsSeen() << "\n"
      << "speed violations: " << c.speedViolations << "\n"
      << "transfer completed: " << (c.transferCompleted ? "yes" : "no") << "\n";
    return s.str();
}

}  // namespace plcsim
