#include "survivable.h"

#include <algorithm>
#include <map>
#include <set>

#include "burn/burn_sequence.h"
#include "burn/catalogue.h"
#include "link/block_transfer.h"

namespace norvane::soak {

namespace {

using plcsim::Exchange;
using plcsim::Fault;
using plcsim::FaultKind;

constexpr std::uint32_t kFailuresThatEndAnExchange = 6;
constexpr std::uint32_t kLongestSurvivableOutage = 5;  // operations
constexpr std::uint32_t kReplyTimeoutMs = 3000;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kFlashError = 0x16;

// What one fault does to the attempt it hits.
enum class Effect {
    None,              // nothing the tool can see
    ReplyFailure,      // the attempt's reply is missing or unusable; the request is repeated
    ErasedUnanswered,  // an erase unit was cleared but its reply is lost: the repeated
                       // "ERASE" clears one unit more
    WriteFailure,      // the attempt's write fails; the request is repeated
    LostPass,          // the hand-over does not happen; the burn takes another pass
    Fatal,             // the burn cannot succeed
};

struct Judged {
    Effect effect;
    const char* why;  // for Fatal
};

std::uint32_t LowByte(std::uint32_t value) {
    return value & 0xFF;
}

// The reply the PLC sends to `kind`: 1, 3 or a frame's worth of bytes.
std::uint32_t ReplyLength(Exchange kind) {
    switch (kind) {
        case Exchange::BootId:
        case Exchange::BootVersion:
            return 3;
        case Exchange::BootErase:
        case Exchange::BootEraseEnd:
        case Exchange::BootUpdate:
        case Exchange::Block:
        case Exchange::TransferEnd:
            return 1;
        case Exchange::ReadRegister:
            return 15;
        default:
            return 19;
    }
}

bool IsBootloaderWord(Exchange kind) {
    return ReplyLength(kind) <= 3;
}

// What a fault does on the exchange it names, for this model.
Judged JudgeFault(const Fault& fault, const PlcModel& model, const plcsim::SimModel& plc) {
    const Exchange kind = fault.exchange;
    const bool singleErase = kind == Exchange::BootErase && model.singleEraseAttempt;
    if (kind == Exchange::Wake) {
        // The wake burst reads nothing it judges, but a wake answer later than the
        // read time-out comes while the mode query waits for its reply.
        const bool late = fault.kind == FaultKind::Delay && fault.value >= kReplyTimeoutMs;
        return {late ? Effect::Fatal : Effect::None, "a reply later than the read time-out"};
    }
    if (kind == Exchange::EraseConfirm) {
        // No reply is read: only a confirmation that does not get through matters.
        switch (fault.kind) {
            case FaultKind::WriteFailure:
                return {Effect::WriteFailure, nullptr};
            case FaultKind::Silent:
                return {Effect::LostPass, nullptr};
            default:
                return {Effect::None, nullptr};
        }
    }
    if (kind == Exchange::EraseRequest && plc.silentAfterEraseRequest) {
        // Its application answers nothing: silence there is taken for the hand-over.
        switch (fault.kind) {
            case FaultKind::WriteFailure:
                return {Effect::WriteFailure, nullptr};
            case FaultKind::Silent:
                return {Effect::LostPass, nullptr};
            case FaultKind::StayInApplication:
                return {Effect::Fatal, "the PLC never hands over"};
            default:
                return {Effect::None, nullptr};
        }
    }
    switch (fault.kind) {
        case FaultKind::StayInApplication:
            return {kind == Exchange::EraseRequest ? Effect::Fatal : Effect::None,
                    "the PLC never hands over"};
        case FaultKind::WriteFailure:
            if (singleErase) {
                return {Effect::Fatal, "an erase unit that has a single attempt fails"};
            }
            return {Effect::WriteFailure, nullptr};
        case FaultKind::Silent:
        case FaultKind::Nak:
            if (singleErase) {
                return {Effect::Fatal, "an erase unit that has a single attempt fails"};
            }
            return {Effect::ReplyFailure, nullptr};
        case FaultKind::Delay:
            if (fault.value < kReplyTimeoutMs) {
                return {Effect::None, nullptr};
            }
            // It comes while the tool waits for the reply to a later request, and a
            // control byte or an ID carries nothing that tells the two apart.
            return {Effect::Fatal, "a reply later than the read time-out"};
        case FaultKind::CorruptLrc:
        case FaultKind::LowerCaseHex:
            // Only frames carry an LRC and hexadecimal digits.
            return {IsBootloaderWord(kind) ? Effect::None : Effect::ReplyFailure, nullptr};
        case FaultKind::PartialReply:
            if (fault.value >= ReplyLength(kind)) {
                return {Effect::None, nullptr};
            }
            break;
        case FaultKind::FlashWriteError:
            if (kind == Exchange::Block) {
                return {Effect::Fatal, "the PLC reports a flash write error"};
            }
            if (!IsBootloaderWord(kind)) {
                return {Effect::None, nullptr};
            }
            // The PLC refuses the word with 0x16 instead of acting on it.
            if (singleErase) {
                return {Effect::Fatal, "an erase unit that has a single attempt fails"};
            }
            return {Effect::ReplyFailure, nullptr};
        case FaultKind::WrongTypeId:
            if (kind == Exchange::TypeId) {
                return {fault.value == plc.appTypeId ? Effect::None : Effect::ReplyFailure,
                        nullptr};
            }
            if (kind == Exchange::BootId) {
                return {fault.value == plc.bootTypeId ? Effect::None : Effect::ReplyFailure,
                        nullptr};
            }
            return {Effect::None, nullptr};
        case FaultKind::WrongStatus: {
            const std::uint32_t status = LowByte(fault.value);
            if (kind == Exchange::ModeQuery && (status == 0x05 || status == 0x06)) {
                return {Effect::Fatal, "the PLC misreports its mode"};
            }
            if (kind == Exchange::Version) {
                // The status byte is the version the bootloader gate reads.
                const bool refused = model.bootVersionFloor != kNoBootVersionFloor &&
                                     static_cast<std::int32_t>(status) <= model.bootVersionFloor;
                return {refused ? Effect::Fatal : Effect::None,
                        "the PLC misreports its bootloader version"};
            }
            if (kind == Exchange::ReadRegister) {
                return {Effect::None, nullptr};  // a register reply has no status byte
            }
            if (status == kAck) {
                return {Effect::None, nullptr};
            }
            if (kind == Exchange::Block && status == kFlashError) {
                return {Effect::Fatal, "a reply reads as a flash write error"};
            }
            break;
        }
        case FaultKind::GarbageBefore:
        case FaultKind::LostAck:
            break;
    }
    // The request was carried out but its reply is lost or unusable.
    if (kind == Exchange::BootUpdate) {
        return {Effect::Fatal, "the PLC turned to the transfer but its acknowledgement is lost"};
    }
    if (singleErase) {
        return {Effect::Fatal, "an erase unit that has a single attempt fails"};
    }
    return {kind == Exchange::BootErase ? Effect::ErasedUnanswered : Effect::ReplyFailure, nullptr};
}

bool IsReplyFailure(Effect effect) {
    return effect == Effect::ReplyFailure || effect == Effect::ErasedUnanswered;
}

// Erase units the PLC's flash has beyond those the image needs.
std::uint32_t SpareEraseUnits(const SoakPlan& plan, const PlcModel& model,
                              const plcsim::SimModel& plc) {
    std::uint16_t needed = 0;
    EraseCount(model, plan.imageSize, needed);
    const std::size_t units = plc.flashSize / plc.eraseUnit;
    return units > needed ? static_cast<std::uint32_t>(units - needed) : 0;
}

// The longest run of consecutive occurrences in `occurrences`.
std::uint32_t LongestRun(const std::set<std::uint32_t>& occurrences) {
    std::uint32_t longest = 0;
    std::uint32_t run = 0;
    std::uint32_t previous = 0;
    for (const std::uint32_t o : occurrences) {
        run = (run > 0 && o == previous + 1) ? run + 1 : 1;
        previous = o;
        longest = std::max(longest, run);
    }
    return longest;
}

// Failed attempts in a row per exchange, from the plan's faults.
struct Runs {
    std::map<Exchange, std::set<std::uint32_t>> replies;
    std::map<Exchange, std::set<std::uint32_t>> writes;
    std::uint32_t lostPasses = 0;
    std::uint32_t extraErases = 0;
};

Verdict Refused(const std::string& why) {
    return Verdict{false, why};
}

}  // namespace

Verdict JudgePlan(const SoakPlan& plan) {
    const PlcModel& model = ModelAt(plan.model);
    const plcsim::SimModel& plc = *plcsim::FindSimModel(model.name);
    const plcsim::PlcConfig& config = plan.plc;
    if (plan.imageSize > model.sizeLimit || plan.imageSize < model.reservedTail) {
        return Refused("an image the model refuses");
    }
    if (config.runMode) {
        return Refused("a PLC in run mode");
    }
    if (config.writeProtected) {
        return Refused("write-protected flash");
    }
    if (!config.attached) {
        return Refused("no PLC attached");
    }
    if (plan.registersDrawn) {
        return Refused("variant registers drawn at random");
    }
    if (plan.trouble.strikes) {
        if (plan.trouble.downFor == 0) {
            return Refused("the line is lost for good");
        }
        if (plan.trouble.downFor > kLongestSurvivableOutage) {
            return Refused("the line is away for six operations or more");
        }
        if (model.singleEraseAttempt) {
            return Refused("the line may go during an erase that has a single attempt");
        }
    }
    Runs runs;
    for (const Fault& fault : config.faults.Faults()) {
        const Judged judged = JudgeFault(fault, model, plc);
        if (judged.effect == Effect::None) {
            continue;
        }
        if (judged.effect == Effect::Fatal) {
            return Refused(judged.why);
        }
        if (fault.first == 0) {
            return Refused("every request of a kind fails");
        }
        if (judged.effect == Effect::LostPass) {
            runs.lostPasses += fault.times;
            continue;
        }
        if (judged.effect == Effect::ErasedUnanswered) {
            runs.extraErases += fault.times;
        }
        auto& occurrences = judged.effect == Effect::WriteFailure ? runs.writes[fault.exchange]
                                                                  : runs.replies[fault.exchange];
        for (std::uint32_t i = 0; i < fault.times; ++i) {
            occurrences.insert(fault.first + i);
        }
    }
    if (runs.extraErases > SpareEraseUnits(plan, model, plc)) {
        return Refused("repeated erase commands run past the end of the flash");
    }
    if (runs.lostPasses >= static_cast<std::uint32_t>(kMaxApplicationPasses)) {
        return Refused("the hand-over fails until the passes run out");
    }
    // A write failure of the confirmation and of the erase request count together.
    std::set<std::uint32_t> eraseWrites = runs.writes[Exchange::EraseRequest];
    std::uint32_t confirmWrites =
        static_cast<std::uint32_t>(runs.writes[Exchange::EraseConfirm].size());
    if (eraseWrites.size() + confirmWrites >= kFailuresThatEndAnExchange) {
        return Refused("six failed writes of the erase request and its confirmation");
    }
    for (const auto& [kind, occurrences] : runs.writes) {
        // A line that goes away fails writes too, wherever it strikes.
        const std::uint32_t outage = plan.trouble.strikes ? plan.trouble.downFor : 0;
        if (LongestRun(occurrences) + outage >= kFailuresThatEndAnExchange) {
            return Refused(std::string("six failed writes in a row of ") +
                           plcsim::ExchangeName(kind));
        }
    }
    for (const auto& [kind, occurrences] : runs.replies) {
        if (LongestRun(occurrences) >= kFailuresThatEndAnExchange) {
            return Refused(std::string("six failed replies in a row to ") +
                           plcsim::ExchangeName(kind));
        }
    }
    return {};
}

Verdict JudgeBurn(const SoakPlan& plan, const std::vector<plcsim::RequestRecord>& requests,
                  const std::vector<plcsim::NoiseHit>& noise) {
    Verdict verdict = JudgePlan(plan);
    if (!verdict.survivable || noise.empty()) {
        return verdict;
    }
    const PlcModel& model = ModelAt(plan.model);
    const plcsim::SimModel& plc = *plcsim::FindSimModel(model.name);
    // Noise spoils a reply as a fault would, and is judged like the fault it resembles:
    // a garbled frame, or stray bytes ahead of a control byte.
    std::set<std::size_t> spoilt;  // requests whose reply the noise spoilt
    std::uint32_t extraErases = 0;
    for (const plcsim::NoiseHit& hit : noise) {
        if (hit.kind == Exchange::Block && !hit.after.empty() && hit.after[0] == kFlashError &&
            (hit.before.empty() || hit.before[0] != kFlashError)) {
            return Refused("noise makes an acknowledgement read as a flash write error");
        }
        if (hit.kind == Exchange::BootVersion && model.bootVersionFloor != kNoBootVersionFloor) {
            return Refused("noise changes the bootloader version the gate reads");
        }
        Fault like;
        like.exchange = hit.kind;
        like.kind = IsBootloaderWord(hit.kind) ? FaultKind::GarbageBefore : FaultKind::CorruptLrc;
        const Judged judged = JudgeFault(like, model, plc);
        if (judged.effect == Effect::Fatal) {
            return Refused(std::string("noise: ") + judged.why);
        }
        if (judged.effect != Effect::None) {
            spoilt.insert(hit.request);
        }
        if (judged.effect == Effect::ErasedUnanswered) {
            ++extraErases;
        }
    }
    // The longest run of spoilt replies per kind of request, added to the longest
    // run the plan's faults make there: as if the two met.
    std::map<Exchange, std::uint32_t> noiseRuns;
    std::map<Exchange, std::uint32_t> run;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const Exchange kind = requests[i].kind;
        run[kind] = spoilt.count(i) != 0 ? run[kind] + 1 : 0;
        noiseRuns[kind] = std::max(noiseRuns[kind], run[kind]);
    }
    std::map<Exchange, std::set<std::uint32_t>> faultRuns;
    for (const Fault& fault : plan.plc.faults.Faults()) {
        const Effect effect = JudgeFault(fault, model, plc).effect;
        if (IsReplyFailure(effect)) {
            for (std::uint32_t i = 0; i < fault.times; ++i) {
                faultRuns[fault.exchange].insert(fault.first + i);
            }
        }
        extraErases += effect == Effect::ErasedUnanswered ? fault.times : 0;
    }
    if (extraErases > SpareEraseUnits(plan, model, plc)) {
        return Refused("noise: repeated erase commands run past the end of the flash");
    }
    for (const auto& [kind, longest] : noiseRuns) {
        if (longest + LongestRun(faultRuns[kind]) >= kFailuresThatEndAnExchange) {
            return Refused(std::string("noise and faults spoil six replies in a row to ") +
                           plcsim::ExchangeName(kind));
        }
    }
    return verdict;
}

}  // namespace norvane::soak
