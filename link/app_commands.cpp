#include "link/app_commands.h"

#include "link/frame.h"

namespace norvane {

namespace {

constexpr std::uint8_t kStatusApplication = 0x05;
constexpr std::uint8_t kStatusBootloader = 0x06;
constexpr std::uint8_t kNakClassRunMode = 1;
constexpr std::uint8_t kNakClassRefused = 2;

constexpr std::size_t kWakeReadLength = 11;  // a Modbus ASCII exception reply
constexpr int kWakeFrames = 5;

std::uint8_t UnitByte(const PlcModel& model) {
    return model.aioFraming ? kAioUnitByte : kUnitByte;
}

// Only a COM port has a line to set up; the USB pipe has none.
void ApplicationLine(const ExchangeContext& x) {
    if (x.model.linkKind == LinkKind::Serial) {
        x.link.ApplyLineSettings(kApplicationLineSettings);
    }
}

// Runs `request` until a valid reply of `length` characters that `accept` takes,
// at most `limit` failures.
template <typename Accept>
bool Exchange(const ExchangeContext& x, const RequestFrame& request, std::size_t length,
              AppReply& reply, Accept accept, int limit = kFailureLimit,
              LinkTimeouts timeouts = kExchangeTimeouts) {
    x.link.SetTimeouts(timeouts);
    return RunAttempts(
               x, request.text, request.length, reply.raw, length,
               [&](std::size_t received) {
                   return reply.Valid(received, length) && accept(reply) ? Judgement::Accept
                                                                         : Judgement::Retry;
               },
               limit) == AttemptsEnd::Accepted;
}

constexpr auto Any = [](const AppReply&) { return true; };

// What the last reply read says once the attempts ran out: the NAK codes `first`
// and `second` are this exchange's own; only the mode query knows class 1.
AppResult Classify(const AppReply& last, std::uint8_t first, std::uint8_t second,
                   bool knowsRunMode) {
    if (last.Status() != kNak) {
        return AppResult::NoResponse;
    }
    if (knowsRunMode && last.NakClass() == kNakClassRunMode) {
        return AppResult::RunMode;
    }
    if (last.NakClass() != kNakClassRefused) {
        return AppResult::UnknownNakClass;
    }
    const std::uint8_t code = last.NakCode();
    if (code != first && code != second) {
        return AppResult::RefusedOtherCode;
    }
    constexpr AppResult kByCode[] = {AppResult::RefusedCode1, AppResult::RefusedCode2,
                                     AppResult::RefusedCode3, AppResult::RefusedCode4};
    return kByCode[code - 1];
}

// The "ID" exchange: an acknowledged answer whose identifier `wanted` takes.
template <typename Wanted>
AppResult TypeExchange(const ExchangeContext& x, Wanted wanted,
                       std::optional<std::uint16_t>* reported) {
    AppReply reply{};
    const bool ok = Exchange(x, TypeCheckRequest(UnitByte(x.model)), kServiceReplyLength, reply,
                             [&wanted, reported](const AppReply& r) {
                                 if (r.Status() != kAck) {
                                     return false;
                                 }
                                 if (reported != nullptr) {
                                     *reported = r.TypeId();
                                 }
                                 return wanted(r.TypeId());
                             });
    return ok ? AppResult::Ok : Classify(reply, 2, 3, false);
}

}  // namespace

std::optional<std::uint16_t> ReadDataRegister(const ExchangeContext& x,
                                              std::uint16_t dataRegister) {
    AppReply reply{};
    if (!Exchange(x, RegisterReadRequest(dataRegister), kRegisterReplyLength, reply, Any)) {
        return std::nullopt;
    }
    return reply.RegisterValue();
}

void DummyComm(const ExchangeContext& x) {
    ApplicationLine(x);
    x.link.SetTimeouts(kWakeTimeouts);
    const RequestFrame wake = WakeRequest();
    std::uint8_t drain[kWakeReadLength];
    // Five wake frames, each followed by a read, then five reads more; the counts
    // are not looked at.
    for (int i = 0; i < 2 * kWakeFrames; ++i) {
        if (i < kWakeFrames) {
            x.link.Write(reinterpret_cast<const std::uint8_t*>(wake.text), wake.length);
        }
        x.link.Read(drain, sizeof drain);
    }
}

AppResult ConfirmComm(const ExchangeContext& x, int attempts) {
    ApplicationLine(x);
    AppReply reply{};
    if (!Exchange(
            x, ModeQueryRequest(UnitByte(x.model)), kServiceReplyLength, reply,
            [](const AppReply& r) {
                return r.Status() == kStatusApplication || r.Status() == kStatusBootloader;
            },
            attempts)) {
        return Classify(reply, 1, 2, true);
    }
    x.panel.ShowFailures(0);
    return reply.Status() == kStatusApplication ? AppResult::InApplication
                                                : AppResult::InBootloader;
}

AppResult CheckID_A(const ExchangeContext& x, std::optional<std::uint16_t>* reported) {
    return TypeExchange(
        x, [&x](std::uint16_t id) { return AppTypeMatches(x.model.typeId, id); }, reported);
}

AppResult ReadTypeId_A(const ExchangeContext& x, std::optional<std::uint16_t>& reported) {
    return TypeExchange(
        x, [](std::uint16_t) { return true; }, &reported);
}

std::uint16_t READ_D1386(const ExchangeContext& x) {
    return ReadDataRegister(x, 1386).value_or(0);
}

std::uint16_t READ_D1001(const ExchangeContext& x) {
    return ReadDataRegister(x, 1001).value_or(0);
}

std::uint16_t READ_D1148(const ExchangeContext& x) {
    return ReadDataRegister(x, 1148).value_or(0);
}

std::uint8_t read_fu_version_A(const ExchangeContext& x) {
    AppReply reply{};
    return Exchange(x, VersionRequest(), kServiceReplyLength, reply, Any) ? reply.Status() : 0;
}

bool AnswersModeQuery(const ExchangeContext& x, LinkTimeouts timeouts) {
    ApplicationLine(x);
    AppReply reply{};
    return Exchange(x, ModeQueryRequest(UnitByte(x.model)), kServiceReplyLength, reply, Any, 1,
                    timeouts);
}

std::optional<std::uint8_t> ReadBootVersion_A(const ExchangeContext& x) {
    AppReply reply{};
    if (!Exchange(x, VersionRequest(), kServiceReplyLength, reply,
                  [](const AppReply& r) { return r.Status() != kNak; })) {
        return std::nullopt;
    }
    return reply.Status();
}

// Departs from the discipline twice: the models that restart into their bootloader
// without finishing the reply take silence for success, and an acknowledged request
// is confirmed at once, without a reply to read; a confirmation that cannot be
// written is a write failure, and the request goes again.
AppResult SendErase_A(const ExchangeContext& x) {
    x.link.SetTimeouts(kExchangeTimeouts);
    const RequestFrame request = EraseRequest(UnitByte(x.model));
    const RequestFrame confirmation = EraseConfirmation(UnitByte(x.model));
    AppReply reply{};
    const AttemptsEnd end = RunAttempts(
        x, request.text, request.length, reply.raw, kServiceReplyLength, [&](std::size_t received) {
            if (received != kServiceReplyLength) {
                return x.model.silentEraseOk ? Judgement::Accept : Judgement::Retry;
            }
            if (!reply.Valid(received, kServiceReplyLength) || reply.Status() != kAck) {
                return Judgement::Retry;
            }
            x.panel.ShowFailures(0);
            const auto* text = reinterpret_cast<const std::uint8_t*>(confirmation.text);
            return x.link.Write(text, confirmation.length) == confirmation.length
                       ? Judgement::Accept
                       : Judgement::RetryAfterWrite;
        });
    if (end != AttemptsEnd::Accepted) {
        return Classify(reply, 3, 4, false);
    }
    x.panel.ShowFailures(0);
    return AppResult::Ok;
}

}  // namespace norvane
