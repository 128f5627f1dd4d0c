#include "soak_plan.h"

#include <cstring>
#include <random>
#include <sstream>

#include "burn/catalogue.h"

namespace norvane::soak {

namespace {

using plcsim::Exchange;
using plcsim::Fault;
using plcsim::FaultKind;

// Draws from the burn's own generator; the same seed gives the same burn on every
// platform, so only the raw generator output is used.
class Draw {
  public:
    explicit Draw(std::uint32_t seed) : rng_(seed) {}
    std::uint32_t Below(std::uint32_t n) {
        return n == 0 ? 0 : static_cast<std::uint32_t>(rng_() % n);
    }
    std::uint32_t Between(std::uint32_t lo, std::uint32_t hi) { return lo + Below(hi - lo + 1); }
    bool Percent(std::uint32_t p) { return Below(100) < p; }
    template <typename T, std::size_t N>
    T From(const T (&items)[N]) {
        return items[Below(N)];
    }

  private:
    std::mt19937 rng_;
};

const Exchange kExchanges[] = {
    Exchange::Wake,        Exchange::ModeQuery,    Exchange::TypeId,       Exchange::ReadRegister,
    Exchange::Version,     Exchange::EraseRequest, Exchange::EraseConfirm, Exchange::BootId,
    Exchange::BootVersion, Exchange::BootErase,    Exchange::BootEraseEnd, Exchange::BootUpdate,
    Exchange::Block,       Exchange::Block,        Exchange::Block,        Exchange::TransferEnd,
};

const FaultKind kKinds[] = {
    FaultKind::Silent,
    FaultKind::Nak,
    FaultKind::WrongStatus,
    FaultKind::WrongTypeId,
    FaultKind::CorruptLrc,
    FaultKind::LowerCaseHex,
    FaultKind::PartialReply,
    FaultKind::GarbageBefore,
    FaultKind::Delay,
    FaultKind::FlashWriteError,
    FaultKind::LostAck,
    FaultKind::WriteFailure,
    FaultKind::StayInApplication,
};

const char* KindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Silent:
            return "silent";
        case FaultKind::Nak:
            return "nak";
        case FaultKind::WrongStatus:
            return "wrong-status";
        case FaultKind::WrongTypeId:
            return "wrong-type";
        case FaultKind::CorruptLrc:
            return "corrupt-lrc";
        case FaultKind::LowerCaseHex:
            return "lower-case-hex";
        case FaultKind::PartialReply:
            return "partial-reply";
        case FaultKind::GarbageBefore:
            return "garbage-before";
        case FaultKind::Delay:
            return "delay";
        case FaultKind::FlashWriteError:
            return "flash-write-error";
        case FaultKind::LostAck:
            return "lost-ack";
        case FaultKind::WriteFailure:
            return "write-failure";
        case FaultKind::StayInApplication:
            return "stay-in-application";
    }
    return "?";
}

// An image the model takes, now and then one it refuses.
std::uint32_t ImageSize(const PlcModel& model, Draw& draw) {
    if (draw.Percent(2)) {
        return model.sizeLimit + draw.Between(1, 300);  // too large
    }
    if (model.reservedTail > 0 && draw.Percent(2)) {
        return draw.Below(model.reservedTail);  // shorter than the tail the PLC keeps
    }
    const std::uint32_t low = model.reservedTail;
    const std::uint32_t high = std::min<std::uint32_t>(model.sizeLimit, low + 12 * 1024);
    return draw.Between(low, high);
}

// The registers and versions of a PLC of exactly this model, so that a burn
// without faults gets through the variant checks and the version gate.
void MatchingPlc(const PlcModel& model, plcsim::PlcConfig& plc) {
    const std::string name = model.name;
    const auto has = [&name](const char* part) { return name.find(part) != std::string::npos; };
    plc.d1386 = has("MR7-K") ? 0x4138 : 0;
    plc.d1001 = has("-V4") ? 0x0040 : 0;
    plc.d1148 = name == "NR4W" || name == "PVW" ? 28 : 0;
}

Fault DrawFault(Draw& draw, std::uint32_t blocks, std::ostringstream& text) {
    Fault fault;
    fault.exchange = draw.From(kExchanges);
    fault.kind = draw.From(kKinds);
    const std::uint32_t occurrences = fault.exchange == Exchange::Block ? blocks + 1 : 4;
    fault.first = draw.Percent(10) ? 0 : draw.Between(1, occurrences);
    fault.times = draw.Between(1, 8);
    switch (fault.kind) {
        case FaultKind::Nak:
            fault.nakClass = static_cast<std::uint8_t>(draw.Between(1, 3));
            fault.nakCode = static_cast<std::uint8_t>(draw.Between(1, 5));
            break;
        case FaultKind::WrongStatus:
        case FaultKind::WrongTypeId:
            fault.value = draw.Below(0x10000);
            break;
        case FaultKind::PartialReply:
            fault.value = draw.Below(19);
            break;
        case FaultKind::GarbageBefore:
            fault.value = draw.Between(1, 18);
            break;
        case FaultKind::Delay:
            fault.value = draw.Between(50, 4000);
            break;
        default:
            break;
    }
    text << " " << KindName(fault.kind) << "@" << plcsim::ExchangeName(fault.exchange) << "#"
         << fault.first << "x" << fault.times;
    if (fault.value != 0) {
        text << "=" << fault.value;
    }
    if (fault.kind == FaultKind::Nak) {
        text << "(class " << int{fault.nakClass} << " code " << int{fault.nakCode} << ")";
    }
    return fault;
}

}  // namespace

SoakPlan MakePlan(std::uint32_t seed) {
    SoakPlan plan;
    plan.seed = seed;
    Draw draw(seed * 2654435761u + 12345u);
    plan.model = static_cast<int>(seed % kModelCount);
    const PlcModel& model = ModelAt(plan.model);
    plan.imageSize = ImageSize(model, draw);
    plcsim::PlcConfig& plc = plan.plc;
    plc.model = model.name;
    MatchingPlc(model, plc);

    std::ostringstream text;
    text << model.name << ", image " << plan.imageSize << " bytes;";
    if (draw.Percent(20)) {
        plc.initialMode = plcsim::PlcMode::Bootloader;
        text << " in its bootloader;";
    }
    if (draw.Percent(30)) {
        plc.answerWake = true;
        text << " answers the wake frames;";
    }
    plc.restartDelayMs = draw.Between(0, 1300);
    text << " restarts in " << plc.restartDelayMs << " ms;";
    if (draw.Percent(4)) {
        plc.runMode = true;
        text << " in run mode;";
    }
    if (draw.Percent(4)) {
        plc.writeProtected = true;
        text << " write-protected;";
    }
    if (draw.Percent(3)) {
        plan.registersDrawn = true;
        plc.d1386 = static_cast<std::uint16_t>(draw.From({0x4137u, 0x4138u, 0u}));
        plc.d1001 = static_cast<std::uint16_t>(draw.Below(0x100));
        plc.d1148 = static_cast<std::uint16_t>(draw.Below(2) * 28);
        text << " registers D1386 " << plc.d1386 << " D1001 " << plc.d1001 << " D1148 " << plc.d1148
             << ";";
    }
    if (draw.Percent(2)) {
        plc.attached = false;
        text << " not attached;";
    }
    if (draw.Percent(10)) {
        plc.noiseSeed = draw.Below(1000);
        plc.noisePercent = draw.Between(1, 15);
        plc.noiseMode = draw.Percent(50) ? plcsim::NoiseMode::Corrupt : plcsim::NoiseMode::Insert;
        text << " noisy line " << plc.noisePercent << " %;";
    }
    const std::uint32_t blocks = plan.imageSize / model.blockSize + 1;
    const std::uint32_t faults = draw.Percent(25) ? 0 : draw.Between(1, 3);
    text << " faults:";
    for (std::uint32_t i = 0; i < faults; ++i) {
        plc.faults.Add(DrawFault(draw, blocks, text));
    }
    if (faults == 0) {
        text << " none";
    }
    if (draw.Percent(15)) {
        plan.trouble.strikes = true;
        plan.trouble.atWrite = draw.Between(1, blocks + 40);
        plan.trouble.downFor = draw.Percent(30) ? 0 : draw.Between(1, 14);
        text << "; the line goes at write " << plan.trouble.atWrite << " and "
             << (plan.trouble.downFor == 0
                     ? std::string("never comes back")
                     : "comes back after " + std::to_string(plan.trouble.downFor) + " operations");
    }
    plan.description = text.str();
    return plan;
}

}  // namespace norvane::soak
