#include "sim_models.h"

#include <array>

namespace plcsim {
namespace {

constexpr std::size_t kKiB = 1024;

// Flash sizes: a whole number of erase units, one unit more than the largest image the
// model takes, so that an erase that rounds up still fits and one that runs away does not.
constexpr std::size_t FlashFor(std::size_t largestImage, std::size_t unit) {
    return ((largestImage + unit - 1) / unit + 1) * unit;
}

constexpr std::size_t kLargeUnit = 128 * kKiB;
constexpr std::size_t kPvUnit = 16 * kKiB;
constexpr std::size_t kSector = 4 * kKiB;
constexpr std::size_t kSmallUnit = 2 * kKiB;

constexpr std::size_t kFlashLarge4 = FlashFor(512 * kKiB, kLargeUnit);
constexpr std::size_t kFlashLarge7 = FlashFor(896 * kKiB, kLargeUnit);
constexpr std::size_t kFlashSector = FlashFor(2028 * kKiB, kSector);
constexpr std::size_t kFlashSmall = FlashFor(0x78800, kSmallUnit);
constexpr std::size_t kFlashPv = FlashFor(0x78800, kPvUnit);
constexpr std::size_t kFlashAio = FlashFor(40 * kKiB, kSmallUnit);
constexpr std::size_t kFlashTq7pAio = 4 * kKiB;  // four units of 1 KiB

constexpr LinkKind U = LinkKind::Usb;
constexpr LinkKind S = LinkKind::Serial;
constexpr Handover kInPlace = Handover::InPlace;
constexpr Handover kReplug = Handover::Replug;
constexpr Handover kPower = Handover::PowerCycle;

// clang-format off
constexpr std::array<SimModel, kSimModelCount> kModels = {{
    //  name          app id  boot id link unit  block erase unit  tail   flash          handover  silent
    {"MR7-TQ7-V2",  0x000C, 0x000C, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"NT4",         0x000E, 0x000E, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"NZ4",         0x000F, 0x000F, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"NR4",         0x0013, 0x0013, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"MR7-K-V2",    0x000C, 0x000C, S, 0x59, 128, kLargeUnit, 0,      kFlashLarge4,  kPower,   true},
    {"PV",          0x0015, 0x0015, U, 0x59, 256, kPvUnit,    0,      kFlashPv,      kReplug,  false},
    {"MG5",         0x0000, 0x0000, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"TQ7P-AIO",    0x000D, 0x000D, S, 0x5B, 256, 1 * kKiB,   0,      kFlashTq7pAio, kInPlace, false},
    {"NZ-V3",       0x0008, 0x0008, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"BOW-MR7-V2",  0xA001, 0x2001, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"PV-U",        0xA002, 0xA002, U, 0x59, 256, kPvUnit,    0,      kFlashPv,      kReplug,  false},
    {"NR4-U",       0xA003, 0x2003, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"QB7",         0x3000, 0x3000, U, 0x59, 256, kSector,    kSector, kFlashSector, kReplug,  false},
    {"MR-TQ-MG4",   0x0003, 0x0003, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"TQ7-ROV",     0xA006, 0x2006, S, 0x59, 128, kLargeUnit, 0,      kFlashLarge4,  kPower,   true},
    {"NR4W",        0x0013, 0x0013, S, 0x59, 128, kLargeUnit, 0,      kFlashLarge4,  kInPlace, false},
    {"MR7-P",       0x0017, 0x0017, S, 0x59, 128, kLargeUnit, 0,      kFlashLarge7,  kInPlace, false},
    {"QB5",         0x3010, 0x3010, U, 0x59, 256, kSector,    kSector, kFlashSector, kReplug,  false},
    {"QB5-AIO",     0x3010, 0x3010, U, 0x5B, 256, kSmallUnit, 0,      kFlashAio,     kReplug,  false},
    {"PVW",         0x0015, 0x0015, U, 0x59, 128, kLargeUnit, 0,      kFlashLarge7,  kReplug,  false},
    {"MR8-TQ8",     0x0020, 0x0020, U, 0x59, 256, kSector,    kSector, kFlashSector, kReplug,  false},
    {"RLX-G",       0xA00B, 0xA00B, U, 0x59, 256, kSector,    kSector, kFlashSector, kReplug,  false},
    {"QB3",         0x3020, 0x3020, U, 0x59, 256, kSector,    kSector, kFlashSector, kReplug,  false},
    {"TQ8-AIO",     0x0020, 0x0020, U, 0x5B, 256, kSmallUnit, 0,      kFlashAio,     kReplug,  false},
    {"MR7-TQ7-V4",  0x000C, 0x000C, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"NZ-V4",       0x0008, 0x0008, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"BOW-MR7-V4",  0xA001, 0x2001, S, 0x59, 128, kSmallUnit, 0,      kFlashSmall,   kInPlace, false},
    {"MR8-BUNDLE",  0x0020, 0x0020, U, 0x59, 256, kSector,    kSector, kFlashSector, kReplug,  false},
    {"MR7-K-V4",    0x000C, 0x000C, S, 0x59, 128, kLargeUnit, 0,      kFlashLarge4,  kPower,   true},
    {"NW8NZ8",      0x0022, 0x0022, U, 0x59, 256, kSector,    kSector, kFlashSector, kReplug,  false},
    {"NZ8-AIO",     0x0022, 0x0022, U, 0x5B, 256, kSmallUnit, 0,      kFlashAio,     kReplug,  false},
}};
// clang-format on

}  // namespace

const SimModel* FindSimModel(const std::string& name) {
    for (const SimModel& model : kModels) {
        if (name == model.name) {
            return &model;
        }
    }
    return nullptr;
}

}  // namespace plcsim
