#include "link/app_commands.h"

#include <cstring>

#include "burn/shared_values.h"
#include "link/app_exchange.h"
#include "link/app_requests.h"
#include "link/line_records.h"

namespace norvane {

namespace {

constexpr std::uint8_t kStatusAck = 0x06;
constexpr std::size_t kWakeReadLength = 11;  // a Modbus ASCII exception reply
constexpr int kWakeFrames = 5;
constexpr int kWakeDrainReads = 5;

void ApplyApplicationLineIfSerial(Link& link) {
    if (SelectedModel().linkKind == LinkKind::Serial) {
        link.ApplyLineSettings(kApplicationLineSettings);
    }
}

std::uint16_t ReadRegister(Link& link, std::uint16_t address) {
    link.SetTimeouts(kExchangeTimeouts);
    AppReply reply{};
    const bool ok = RunAppExchange(link, RegisterReadRequest(address), kRegisterReplyLength, reply,
                                   [](const AppReply&) { return true; });
    return ok ? reply.Word(3) : 0;
}

}  // namespace

void DummyComm(Link& link) {
    ApplyApplicationLineIfSerial(link);
    link.SetTimeouts(kWakeTimeouts);
    const RequestFrame wake = WakeRequest();
    std::uint8_t drain[kWakeReadLength];
    for (int i = 0; i < kWakeFrames; ++i) {
        link.Write(reinterpret_cast<const std::uint8_t*>(wake.text), wake.length);
        link.Read(drain, sizeof drain);
    }
    for (int i = 0; i < kWakeDrainReads; ++i) {
        link.Read(drain, sizeof drain);
    }
}

ExchangeResult ConfirmComm(Link& link) {
    ApplyApplicationLineIfSerial(link);
    link.SetTimeouts(kExchangeTimeouts);
    AppReply reply{};
    const bool ok =
        RunAppExchange(link, ModeQueryRequest(SelectedUnitByte()), kServiceReplyLength, reply,
                       [](const AppReply& r) {
                           return r.Byte(4) == kModeApplication || r.Byte(4) == kModeBootloader;
                       });
    if (ok) {
        errCounter.store(0, std::memory_order_relaxed);
        return reply.Byte(4);
    }
    return ClassifyNak(reply, NakCodes{1, 2, true});
}

ExchangeResult CheckID_A(Link& link) {
    link.SetTimeouts(kExchangeTimeouts);
    const std::uint16_t selected = selectedPLCID.load(std::memory_order_relaxed);
    AppReply reply{};
    const bool ok =
        RunAppExchange(link, TypeCheckRequest(SelectedUnitByte()), kServiceReplyLength, reply,
                       [selected](const AppReply& r) {
                           return r.Byte(4) == kStatusAck && AppTypeMatches(selected, r.Word(5));
                       });
    return ok ? kResultOk : ClassifyNak(reply, NakCodes{2, 3, false});
}

std::uint16_t READ_D1386(Link& link) {
    return ReadRegister(link, kRegisterD1386);
}

std::uint16_t READ_D1001(Link& link) {
    return ReadRegister(link, kRegisterD1001);
}

std::uint16_t READ_D1148(Link& link) {
    return ReadRegister(link, kRegisterD1148);
}

std::uint8_t read_fu_version_A(Link& link) {
    link.SetTimeouts(kExchangeTimeouts);
    AppReply reply{};
    const bool ok = RunAppExchange(link, VersionRequest(), kServiceReplyLength, reply,
                                   [](const AppReply&) { return true; });
    return ok ? reply.Byte(4) : 0;
}

ExchangeResult SendErase_A(Link& link) {
    link.SetTimeouts(kExchangeTimeouts);
    const std::uint8_t unit = SelectedUnitByte();
    const RequestFrame request = EraseRequest(unit);
    const RequestFrame confirmation = EraseConfirmation(unit);
    const bool silentOk = SelectedModel().silentEraseOk;
    AppReply reply{};
    RetryDiscipline attempts;
    while (!attempts.Exhausted()) {
        link.DiscardInput();
        if (!WriteAll(link, request.text, request.length)) {
            attempts.WriteFailed();
            continue;
        }
        attempts.BeforeRead();
        std::memset(reply.raw, 0, sizeof reply.raw);
        const std::size_t got = link.Read(reply.raw, kServiceReplyLength);
        if (got != kServiceReplyLength) {
            // These PLCs restart into their bootloader without finishing the reply.
            if (silentOk) {
                errCounter.store(0, std::memory_order_relaxed);
                return kResultOk;
            }
            attempts.ReplyFailed();
            continue;
        }
        const bool valid = (CheckLRC(reply.raw + 1, kServiceReplyLength - 3) & 0xFF) == 0;
        if (!valid || reply.Byte(4) != kStatusAck) {
            attempts.ReplyFailed();
            continue;
        }
        errCounter.store(0, std::memory_order_relaxed);
        if (WriteAll(link, confirmation.text, confirmation.length)) {
            return kResultOk;
        }
        attempts.WriteFailed();
    }
    return ClassifyNak(reply, NakCodes{3, 4, false});
}

}  // namespace norvane
