#include "link/boot_commands.h"

#include "burn/image.h"
#include "burn/shared_values.h"
#include "link/boot_exchange.h"
#include "link/line_records.h"
#include "link/transfer_plan.h"

namespace norvane {

namespace {

constexpr char kWordId[] = "ID";
constexpr char kWordVersion[] = "VERSION";
constexpr char kWordErase[] = "ERASE";
constexpr char kWordUpdate[] = "UPDATE";

}  // namespace

ExchangeResult CheckID_B(Link& link) {
    link.SetTimeouts(kExchangeTimeouts);
    const PlcModel& model = SelectedModel();
    const std::uint16_t selected = selectedPLCID.load(std::memory_order_relaxed);
    RetryDiscipline attempts;
    std::uint8_t reply[3];
    while (!attempts.Exhausted()) {
        Attempt attempt = BootAttempt(link, attempts, kWordId, 2, reply, sizeof reply);
        if (attempt == Attempt::Acknowledged) {
            const auto reported = static_cast<std::uint16_t>(reply[1] << 8 | reply[2]);
            if (BootTypeMatches(model.linkKind, selected, reported)) {
                // The panel keeps showing earlier misses for the MR7 family's looser match.
                const bool looseMatch = model.linkKind == LinkKind::Serial && selected == 0x000C;
                if (!looseMatch) {
                    errCounter.store(0, std::memory_order_relaxed);
                }
                return kResultOk;
            }
            attempt = Attempt::ReplyFailed;
        }
        CountFailure(attempts, attempt);
    }
    return kResultBootFailed;
}

ExchangeResult read_fu_version_B(Link& link) {
    link.SetTimeouts(kExchangeTimeouts);
    RetryDiscipline attempts;
    std::uint8_t reply[3];
    while (!attempts.Exhausted()) {
        const Attempt attempt =
            BootAttempt(link, attempts, kWordVersion, sizeof kWordVersion - 1, reply, sizeof reply);
        if (attempt == Attempt::Acknowledged) {
            // Low nibble of a is the major version, high nibble of b the minor one.
            QB_fu_version.store(static_cast<std::uint8_t>((reply[1] << 4) | (reply[2] >> 4)),
                                std::memory_order_relaxed);
            errCounter.store(0, std::memory_order_relaxed);
            return kResultOk;
        }
        CountFailure(attempts, attempt);
    }
    return kResultBootFailed;
}

ExchangeResult SendErase_B(Link& link) {
    link.SetTimeouts(kExchangeTimeouts);
    const PlcModel& model = SelectedModel();
    std::uint16_t units = 0;
    if (!EraseCount(model, fileLength.load(std::memory_order_relaxed), units)) {
        return kResultBootFailed;
    }
    flashStatus.store(kFlashErasing, std::memory_order_relaxed);
    progress.store(0, std::memory_order_relaxed);
    std::uint8_t reply[1];
    for (std::uint16_t k = 0; k < units;) {
        RetryDiscipline attempts;
        Attempt attempt = Attempt::ReplyFailed;
        while (!attempts.Exhausted()) {
            attempt = BootAttempt(link, attempts, kWordErase, sizeof kWordErase - 1, reply, 1);
            if (attempt == Attempt::Acknowledged) {
                break;
            }
            CountFailure(attempts, attempt);
            // Sector flash must never see an erase command twice for one unit.
            if (model.singleEraseAttempt) {
                return kResultBootFailed;
            }
        }
        if (attempt != Attempt::Acknowledged) {
            return kResultBootFailed;
        }
        errCounter.store(0, std::memory_order_relaxed);
        progress.store(static_cast<std::int32_t>(k * 100u / units), std::memory_order_relaxed);
        ++k;
    }
    const std::uint8_t eot = kEot;
    if (!AcknowledgedWithin(link, &eot, 1)) {
        return kResultBootFailed;
    }
    errCounter.store(0, std::memory_order_relaxed);
    progress.store(100, std::memory_order_relaxed);
    return kResultOk;
}

ExchangeResult SendUpdate(Link& link) {
    link.SetTimeouts(kExchangeTimeouts);
    if (!AcknowledgedWithin(link, kWordUpdate, sizeof kWordUpdate - 1)) {
        return kResultBootFailed;
    }
    link.ApplyLineSettings(kTransferLineSettings);
    errCounter.store(0, std::memory_order_relaxed);
    return kResultOk;
}

}  // namespace norvane
