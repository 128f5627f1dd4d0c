#include "link/boot_commands.h"

#include <string_view>

#include "link/block_transfer.h"

namespace norvane {

namespace {

constexpr auto Always = [] { return true; };

// Writes the command word until a reply of `length` bytes comes that starts with
// ACK and that `accept` takes; the attempts end at the `limit`-th failure. The
// words go out bare: no frame, no terminator, no checksum.
template <typename Accept = decltype(Always)>
bool Acknowledged(const ExchangeContext& x, std::string_view word, std::uint8_t* reply,
                  std::size_t length, Accept accept = Always, int limit = kFailureLimit) {
    return RunAttempts(
               x, word.data(), word.size(), reply, length,
               [&](std::size_t received) {
                   return received == length && reply[0] == kAck && accept() ? Judgement::Accept
                                                                             : Judgement::Retry;
               },
               limit) == AttemptsEnd::Accepted;
}

// The bootloader's "ID": an acknowledged answer whose identifier `wanted` takes.
template <typename Wanted>
bool TypeAcknowledged(const ExchangeContext& x, Wanted wanted,
                      std::optional<std::uint16_t>* reported) {
    x.link.SetTimeouts(kExchangeTimeouts);
    std::uint8_t reply[3];
    return Acknowledged(x, "ID", reply, sizeof reply, [&] {
        const auto id = static_cast<std::uint16_t>(reply[1] << 8 | reply[2]);
        if (reported != nullptr) {
            *reported = id;
        }
        return wanted(id);
    });
}

}  // namespace

BootResult ReadTypeId_B(const ExchangeContext& x, std::optional<std::uint16_t>& reported) {
    return TypeAcknowledged(
               x, [](std::uint16_t) { return true; }, &reported)
               ? BootResult::Ok
               : BootResult::NotAcknowledged;
}

BootResult CheckID_B(const ExchangeContext& x, std::optional<std::uint16_t>* reported) {
    if (!TypeAcknowledged(
            x,
            [&x](std::uint16_t id) {
                return BootTypeMatches(x.model.linkKind, x.model.typeId, id);
            },
            reported)) {
        return BootResult::NotAcknowledged;
    }
    // The panel keeps showing earlier misses for the MR7 family's looser match.
    if (x.model.linkKind != LinkKind::Serial || x.model.typeId != 0x000C) {
        x.panel.ShowFailures(0);
    }
    return BootResult::Ok;
}

BootResult read_fu_version_B(const ExchangeContext& x, std::uint8_t& version) {
    x.link.SetTimeouts(kExchangeTimeouts);
    std::uint8_t reply[3];
    if (!Acknowledged(x, "VERSION", reply, sizeof reply)) {
        return BootResult::NotAcknowledged;
    }
    version = static_cast<std::uint8_t>((reply[1] << 4) | (reply[2] >> 4));
    x.panel.ShowFailures(0);
    return BootResult::Ok;
}

// Departs from the discipline where the flash asks it to: sector flash must never
// see an erase command twice for one unit, so those models give each a single
// attempt. The closing EOT has the usual limits for every model.
BootResult SendErase_B(const ExchangeContext& x, std::uint32_t imageLength) {
    x.link.SetTimeouts(kExchangeTimeouts);
    std::uint16_t units = 0;
    if (!EraseCount(x.model, imageLength, units)) {
        return BootResult::NotAcknowledged;
    }
    x.panel.ShowProgress(kFlashErasing, 0);
    const int unitLimit = x.model.singleEraseAttempt ? 1 : kFailureLimit;
    std::uint8_t reply[1];
    for (std::uint16_t k = 0; k < units; ++k) {
        if (!Acknowledged(x, "ERASE", reply, 1, Always, unitLimit)) {
            return BootResult::NotAcknowledged;
        }
        x.panel.ShowFailures(0);
        x.panel.ShowPercent(static_cast<std::int32_t>(k * 100u / units));
    }
    const char eot = kEot;
    if (!Acknowledged(x, std::string_view(&eot, 1), reply, 1)) {
        return BootResult::NotAcknowledged;
    }
    x.panel.ShowFailures(0);
    x.panel.ShowPercent(100);
    return BootResult::Ok;
}

BootResult SendUpdate(const ExchangeContext& x) {
    x.link.SetTimeouts(kExchangeTimeouts);
    std::uint8_t reply[1];
    if (!Acknowledged(x, "UPDATE", reply, 1)) {
        return BootResult::NotAcknowledged;
    }
    x.link.ApplyLineSettings(kTransferLineSettings);
    x.panel.ShowFailures(0);
    return BootResult::Ok;
}

}  // namespace norvane
