// The PLC's framed side: the application's service commands and register reads, and
// the one frame its bootloader still answers, the mode query.
#include <algorithm>

#include "request_kinds.h"
#include "sim_checksums.h"
#include "simulated_plc.h"

namespace plcsim {
namespace {

constexpr std::size_t kLongestFrame = 64;  // far above any request the PLC knows
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kVersionUnit = 0x59;  // the version read never uses the AIO unit

constexpr std::uint16_t kD1386 = 0x156A;
constexpr std::uint16_t kD1001 = 0x13E9;
constexpr std::uint16_t kD1148 = 0x147C;

std::uint8_t Hi(std::uint16_t v) {
    return static_cast<std::uint8_t>(v >> 8);
}
std::uint8_t Lo(std::uint16_t v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

}  // namespace

std::size_t SimulatedPlc::ParseFrame(std::uint64_t nowMs) {
    for (std::size_t i = 1; i < input_.size(); ++i) {
        if (input_[i] == ':') {
            // A frame cut short by a new one: resynchronise on the new start.
            counters_.garbageBytes += static_cast<std::uint32_t>(i);
            return i;
        }
        if (input_[i] == '\n') {
            const std::vector<std::uint8_t> raw(
                input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(i + 1));
            HandleFrame(raw, nowMs);
            return i + 1;
        }
    }
    if (input_.size() > kLongestFrame) {
        ++counters_.garbageBytes;
        return 1;
    }
    return 0;
}

void SimulatedPlc::HandleFrame(const std::vector<std::uint8_t>& raw, std::uint64_t nowMs) {
    // raw: ':' hex... CR LF
    if (raw.size() < 4 || raw[raw.size() - 2] != '\r') {
        ++counters_.badFrames;
        return;
    }
    const auto decoded = DecodeHexUpper(raw.data() + 1, raw.size() - 3);
    if (!decoded || decoded->size() < 2 || Lrc(decoded->data(), decoded->size()) != 0) {
        ++counters_.badFrames;  // the firmware ignores what it cannot read
        return;
    }
    const std::vector<std::uint8_t> msg(decoded->begin(), decoded->end() - 1);
    const Exchange kind = ClassifyMessage(msg);
    Log(kind, raw.data(), raw.size(), nowMs);
    const FaultSet faults = config_.faults.Next(kind);
    if (faults.Has(FaultKind::Silent)) {
        return;
    }
    if (mode_ == PlcMode::Bootloader && kind != Exchange::ModeQuery) {
        return;  // the bootloader speaks no frames but the mode query
    }
    if (kind != Exchange::EraseConfirm) {
        eraseArmed_ = false;
    }
    auto reply = AnswerApplication(kind, msg, faults, nowMs);
    if (!reply || faults.Has(FaultKind::LostAck)) {
        return;
    }
    QueueReply(ShapeFrame(std::move(*reply), faults), faults, nowMs, 0);
}

std::vector<std::uint8_t> SimulatedPlc::ServiceReply(std::uint8_t unit, std::uint8_t status,
                                                     std::uint8_t b5, std::uint8_t b6) const {
    return {0x00, 0x64, 0x01, unit, status, b5, b6};
}

std::optional<std::vector<std::uint8_t>> SimulatedPlc::AnswerApplication(
    Exchange kind, const std::vector<std::uint8_t>& msg, const FaultSet& faults,
    std::uint64_t nowMs) {
    const std::uint16_t typeId = config_.appTypeId.value_or(model_.appTypeId);
    const bool inApp = mode_ == PlcMode::Application;
    auto nak = [&](std::uint8_t cls, std::uint8_t code) {
        ++counters_.naksSent;
        return ServiceReply(msg[3], kNak, cls, code);
    };
    // Another unit's request: refused, or unheard by a PLC that answers only its own.
    auto otherUnit = [&]() -> std::optional<std::vector<std::uint8_t>> {
        if (config_.onlyOwnUnit) {
            return std::nullopt;
        }
        return nak(2, 2);
    };
    switch (kind) {
        case Exchange::Wake:
            if (!config_.answerWake || !inApp) {
                return std::nullopt;
            }
            return std::vector<std::uint8_t>{0x00, 0xFF, 0x01};  // illegal function
        case Exchange::ReadRegister: {
            const std::uint16_t address = static_cast<std::uint16_t>(msg[2] << 8 | msg[3]);
            const bool one = msg[4] == 0 && msg[5] == 1;
            std::optional<std::uint16_t> value;
            if (address == kD1386) {
                value = config_.d1386;
            } else if (address == kD1001) {
                value = config_.d1001;
            } else if (address == kD1148) {
                value = config_.d1148;
            }
            if (!value || !one) {
                return std::vector<std::uint8_t>{0x00, 0x83, 0x02};  // illegal data address
            }
            return std::vector<std::uint8_t>{0x00, 0x03, 0x02, Hi(*value), Lo(*value)};
        }
        case Exchange::ModeQuery:
            if (msg[3] != model_.unitByte) {
                return otherUnit();
            }
            if (!inApp) {
                return ServiceReply(msg[3], 0x06, Hi(typeId), Lo(typeId));
            }
            if (config_.runMode) {
                return nak(1, 1);
            }
            return ServiceReply(msg[3], 0x05, Hi(typeId), Lo(typeId));
        case Exchange::TypeId:
            if (msg[3] != model_.unitByte) {
                return otherUnit();
            }
            return ServiceReply(msg[3], kAck, Hi(typeId), Lo(typeId));
        case Exchange::Version:
            if (msg[3] != kVersionUnit) {
                return nak(2, 2);
            }
            return ServiceReply(msg[3], config_.appVersion, 0, 0);
        case Exchange::EraseRequest:
            if (msg[3] != model_.unitByte) {
                return otherUnit();
            }
            if (config_.runMode) {
                return nak(1, 1);
            }
            stayInApp_ = faults.Has(FaultKind::StayInApplication);
            if (model_.silentAfterEraseRequest) {
                // This application stops talking at once and waits for the power cycle.
                if (!stayInApp_) {
                    StartHandover(nowMs);
                }
                return std::nullopt;
            }
            eraseArmed_ = true;
            return ServiceReply(msg[3], kAck, Hi(typeId), Lo(typeId));
        case Exchange::EraseConfirm:
            if (eraseArmed_ && msg[3] == model_.unitByte && !stayInApp_) {
                StartHandover(nowMs);
            }
            eraseArmed_ = false;
            return std::nullopt;  // the tool reads no reply to the confirmation
        case Exchange::OtherFrame:
            if (msg.size() >= 4 && msg[0] == 0x00 && msg[1] == 0x64) {
                return nak(2, 1);
            }
            if (msg[0] == 0x00) {
                return std::vector<std::uint8_t>{0x00, static_cast<std::uint8_t>(msg[1] | 0x80),
                                                 0x01};
            }
            return std::nullopt;  // addressed to another station
        default:
            return std::nullopt;
    }
}

std::vector<std::uint8_t> SimulatedPlc::ShapeFrame(std::vector<std::uint8_t> message,
                                                   const FaultSet& faults) {
    const bool service = message.size() == 7;
    if (const Fault* f = faults.Find(FaultKind::Nak)) {
        ++counters_.naksSent;
        if (service) {
            message[4] = kNak;
            message[5] = f->nakClass;
            message[6] = f->nakCode;
        } else {
            message = {0x00, static_cast<std::uint8_t>(message[1] | 0x80), f->nakCode};
        }
    }
    if (const Fault* f = faults.Find(FaultKind::WrongStatus); f != nullptr && service) {
        message[4] = static_cast<std::uint8_t>(f->value);
    }
    if (const Fault* f = faults.Find(FaultKind::WrongTypeId); f != nullptr && service) {
        message[5] = Hi(static_cast<std::uint16_t>(f->value));
        message[6] = Lo(static_cast<std::uint16_t>(f->value));
    }
    std::vector<std::uint8_t> frame = BuildFrame(message);
    if (faults.Has(FaultKind::CorruptLrc)) {
        // Re-encode with the LRC one higher.
        std::vector<std::uint8_t> withLrc = message;
        withLrc.push_back(static_cast<std::uint8_t>(Lrc(message.data(), message.size()) + 1));
        const std::string hex = HexUpper(withLrc);
        std::copy(hex.begin(), hex.end(), frame.begin() + 1);
    }
    if (faults.Has(FaultKind::LowerCaseHex)) {
        for (std::size_t i = 1; i + 2 < frame.size(); ++i) {
            if (frame[i] >= 'A' && frame[i] <= 'F') {
                frame[i] = static_cast<std::uint8_t>(frame[i] - 'A' + 'a');
            }
        }
    }
    return frame;
}

}  // namespace plcsim
