#include "burn/catalogue.h"

#include <cstring>

namespace norvane {

const char plcList[kModelCount + 1][kModelNameSlot] = {
    "MR7-TQ7-V2", "NT4",    "NZ4",        "NR4",        "MR7-K-V2", "PV",         "MG5",
    "TQ7P-AIO",   "NZ-V3",  "BOW-MR7-V2", "PV-U",       "NR4-U",    "QB7",        "MR-TQ-MG4",
    "TQ7-ROV",    "NR4W",   "MR7-P",      "QB5",        "QB5-AIO",  "PVW",        "MR8-TQ8",
    "RLX-G",      "QB3",    "TQ8-AIO",    "MR7-TQ7-V4", "NZ-V4",    "BOW-MR7-V4", "MR8-BUNDLE",
    "MR7-K-V4",   "NW8NZ8", "NZ8-AIO",    "",
};

const std::uint16_t plcID[kModelCount + 1] = {
    0x000C, 0x000E, 0x000F, 0x0013, 0x000C, 0x0015, 0x0000, 0x000D, 0x0008, 0xA001, 0xA002,
    0xA003, 0x3000, 0x0003, 0xA006, 0x0013, 0x0017, 0x3010, 0x3010, 0x0015, 0x0020, 0xA00B,
    0x3020, 0x0020, 0x000C, 0x0008, 0xA001, 0x0020, 0x000C, 0x0022, 0x0022, 0x0000,
};

namespace {

bool InGroup(const char* name, const char* const* group) {
    for (; *group != nullptr; ++group) {
        if (std::strcmp(name, *group) == 0) {
            return true;
        }
    }
    return false;
}

const char* const kUsbGroup[] = {"PV",      "PV-U",   "PVW",     "QB7",        "QB5",
                                 "QB5-AIO", "QB3",    "MR8-TQ8", "MR8-BUNDLE", "TQ8-AIO",
                                 "RLX-G",   "NW8NZ8", "NZ8-AIO", nullptr};
const char* const kAioGroup[] = {"TQ7P-AIO", "QB5-AIO", "TQ8-AIO", "NZ8-AIO", nullptr};
const char* const kSectorGroup[] = {"QB7",   "QB5", "MR8-TQ8", "MR8-BUNDLE",
                                    "RLX-G", "QB3", "NW8NZ8",  nullptr};
const char* const kLargeUnitGroup[] = {"MR7-K-V2", "MR7-K-V4", "TQ7-ROV", "NR4W",
                                       "MR7-P",    "PVW",      nullptr};
const char* const kPowerCycleGroup[] = {"MR7-K-V2", "MR7-K-V4", "TQ7-ROV", nullptr};
const char* const kPvUnitGroup[] = {"PV", "PV-U", nullptr};
const char* const kAioUnitGroup[] = {"QB5-AIO", "TQ8-AIO", "NZ8-AIO", nullptr};
const char* const kPointFiveTwelveGroup[] = {"MR7-K-V2", "MR7-K-V4", "TQ7-ROV", "NR4W", nullptr};
const char* const kPointEightNinetySixGroup[] = {"MR7-P", "PVW", nullptr};

struct Limit {
    std::uint32_t bytes;
    const char* message;
};

// The two open limits use the figure their message names, so the tool never
// accepts more than the maximum it tells the user.
Limit SizeLimitOf(const char* name) {
    if (InGroup(name, kPointFiveTwelveGroup)) {
        return {0x80000, "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 4)"};
    }
    if (InGroup(name, kPointEightNinetySixGroup)) {
        return {0xE0000, "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 7)"};
    }
    if (std::strcmp(name, "TQ7P-AIO") == 0) {
        return {4 * 1024, "The file size EXCEEDS the MAXIMUM size (4 * 1024)"};
    }
    if (InGroup(name, kAioUnitGroup)) {
        return {40 * 1024, "The file size EXCEEDS the MAXIMUM size (40 * 1024)"};
    }
    if (InGroup(name, kSectorGroup)) {
        return {2028 * 1024, "The file size EXCEEDS the MAXIMUM size (2028 * 1024)"};
    }
    return {2 * 1024 * 240, "The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)"};
}

EraseCountRule EraseRuleOf(const char* name) {
    if (InGroup(name, kLargeUnitGroup))
        return EraseCountRule::LargeUnit;
    if (InGroup(name, kPvUnitGroup))
        return EraseCountRule::PvUnit;
    if (InGroup(name, kSectorGroup))
        return EraseCountRule::Sector;
    if (InGroup(name, kAioUnitGroup))
        return EraseCountRule::AioUnit;
    if (std::strcmp(name, "TQ7P-AIO") == 0)
        return EraseCountRule::FixedFour;
    return EraseCountRule::SmallUnit;
}

AfterAppErase AfterAppEraseOf(const char* name, bool usb) {
    if (InGroup(name, kPowerCycleGroup))
        return AfterAppErase::PowerCycle;
    if (std::strcmp(name, "PV") == 0 || std::strcmp(name, "PV-U") == 0 ||
        std::strcmp(name, "PVW") == 0) {
        return AfterAppErase::ReplugWait2;
    }
    return usb ? AfterAppErase::ReplugWait5 : AfterAppErase::Wait1;
}

bool ReadsBootVersion(std::uint16_t id) {
    return id == 0x3000 || id == 0x3010 || id == 0x0020 || id == 0xA00B || id == 0x3020 ||
           id == 0x0022;
}

std::int16_t BootVersionFloorOf(const char* name) {
    if (std::strcmp(name, "QB5-AIO") == 0 || std::strcmp(name, "NZ8-AIO") == 0)
        return 0x0F;
    if (std::strcmp(name, "TQ8-AIO") == 0)
        return 0x11;
    return kNoBootVersionFloor;
}

VariantCheck VariantCheckOf(std::uint16_t id) {
    switch (id) {
        case 0x000C:
            return VariantCheck::Mr7;
        case 0x0013:
            return VariantCheck::Nr4PointCount;
        case 0x0015:
            return VariantCheck::PvPointCount;
        case 0x0008:
            return VariantCheck::NzGeneration;
        case 0xA001:
            return VariantCheck::BowGeneration;
        default:
            return VariantCheck::None;
    }
}

PlcModel MakeModel(int index) {
    PlcModel m{};
    std::memcpy(m.name, plcList[index], kModelNameSlot);
    m.typeId = plcID[index];
    const bool usb = InGroup(m.name, kUsbGroup);
    const bool sector = InGroup(m.name, kSectorGroup);
    const bool aio = InGroup(m.name, kAioGroup);
    m.linkKind = usb ? LinkKind::Usb : LinkKind::Serial;
    m.aioFraming = aio;
    const Limit limit = SizeLimitOf(m.name);
    m.sizeLimit = limit.bytes;
    m.sizeLimitMessage = limit.message;
    m.eraseCountRule = EraseRuleOf(m.name);
    const bool bigBlocks = sector || aio || InGroup(m.name, kPvUnitGroup);
    m.blockSize = bigBlocks ? 256 : 128;
    m.reservedTail = sector ? 4096 : 0;
    m.singleEraseAttempt = sector;
    m.afterAppErase = AfterAppEraseOf(m.name, usb);
    m.silentEraseOk = InGroup(m.name, kPowerCycleGroup);
    m.readsBootVersion = ReadsBootVersion(m.typeId);
    m.bootVersionFloor = BootVersionFloorOf(m.name);
    m.variantCheck = VariantCheckOf(m.typeId);
    return m;
}

struct Catalogue {
    PlcModel models[kModelCount];
    Catalogue() {
        for (int i = 0; i < kModelCount; ++i) {
            models[i] = MakeModel(i);
        }
    }
};

const Catalogue& TheCatalogue() {
    static const Catalogue catalogue;
    return catalogue;
}

}  // namespace

const PlcModel& ModelAt(int index) {
    return TheCatalogue().models[index];
}

int FindModel(const char* name) {
    if (name == nullptr) {
        return -1;
    }
    for (int i = 0; i < kModelCount; ++i) {
        if (std::strcmp(name, plcList[i]) == 0) {
            return i;
        }
    }
    return -1;
}

bool AppTypeMatches(std::uint16_t selected, std::uint16_t reported) {
    if (selected == 0x000C) {
        return reported == 0x000C || reported == 0x000D;
    }
    return reported == selected;
}

bool BootTypeMatches(LinkKind kind, std::uint16_t selected, std::uint16_t reported) {
    if (kind == LinkKind::Usb) {
        return reported == selected;
    }
    if (selected == 0x000C) {
        return reported == 0x000C || reported == 0x000D;
    }
    return reported == (selected & 0x7FFF);
}

}  // namespace norvane
