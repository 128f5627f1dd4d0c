#include "burn/catalogue.h"

#include <cstring>

namespace norvane {

namespace {

constexpr LinkKind U = LinkKind::Usb;
constexpr LinkKind S = LinkKind::Serial;
using E = EraseCountRule;
using A = AfterAppErase;
using V = VariantCheck;
constexpr std::int16_t NF = kNoBootVersionFloor;

constexpr const char* kMax2x240 = "The file size EXCEEDS the MAXIMUM size (2 * 1024 * 240)";
constexpr const char* kMax128x4 = "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 4)";
constexpr const char* kMax128x7 = "The file size EXCEEDS the MAXIMUM size (128 * 1024 * 7)";
constexpr const char* kMax2028 = "The file size EXCEEDS the MAXIMUM size (2028 * 1024)";
constexpr const char* kMax40 = "The file size EXCEEDS the MAXIMUM size (40 * 1024)";
constexpr const char* kMax4 = "The file size EXCEEDS the MAXIMUM size (4 * 1024)";

// Every model in the model list's order, with every attribute in which models differ:
// name, type identifier, link (S a COM port, U the PLC's USB device), AIO framing,
// size limit and its message, erase rule, block size, reserved tail, single erase
// attempt, what follows the application-mode erase, silence taken for that erase,
// bootloader version read, the highest refused bootloader version, variant check.
// TQ7P-AIO and the models of the widest limit take no more than the maximum their
// message names.
// clang-format off
constexpr PlcModel kModels[kModelCount] = {
//   name          type id lk aio    limit    message    erase rule    blk  tail  single after           silent boot   floor variant
    {"MR7-TQ7-V2", 0x000C, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::Mr7},
    {"NT4",        0x000E, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::None},
    {"NZ4",        0x000F, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::None},
    {"NR4",        0x0013, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::Nr4PointCount},
    {"MR7-K-V2",   0x000C, S, false, 524288,  kMax128x4, E::LargeUnit, 128, 0,    false, A::PowerCycle,  true,  false, NF,   V::Mr7},
    {"PV",         0x0015, U, false, 491520,  kMax2x240, E::PvUnit,    256, 0,    false, A::ReplugWait2, false, false, NF,   V::PvPointCount},
    {"MG5",        0x0000, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::None},
    {"TQ7P-AIO",   0x000D, S, true,  4096,    kMax4,     E::FixedFour, 256, 0,    false, A::Wait1,       false, false, NF,   V::None},
    {"NZ-V3",      0x0008, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::NzGeneration},
    {"BOW-MR7-V2", 0xA001, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::BowGeneration},
    {"PV-U",       0xA002, U, false, 491520,  kMax2x240, E::PvUnit,    256, 0,    false, A::ReplugWait2, false, false, NF,   V::None},
    {"NR4-U",      0xA003, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::None},
    {"QB7",        0x3000, U, false, 2076672, kMax2028,  E::Sector,    256, 4096, true,  A::ReplugWait5, false, true,  NF,   V::None},
    {"MR-TQ-MG4",  0x0003, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::None},
    {"TQ7-ROV",    0xA006, S, false, 524288,  kMax128x4, E::LargeUnit, 128, 0,    false, A::PowerCycle,  true,  false, NF,   V::None},
    {"NR4W",       0x0013, S, false, 524288,  kMax128x4, E::LargeUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::Nr4PointCount},
    {"MR7-P",      0x0017, S, false, 917504,  kMax128x7, E::LargeUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::None},
    {"QB5",        0x3010, U, false, 2076672, kMax2028,  E::Sector,    256, 4096, true,  A::ReplugWait5, false, true,  NF,   V::None},
    {"QB5-AIO",    0x3010, U, true,  40960,   kMax40,    E::AioUnit,   256, 0,    false, A::ReplugWait5, false, true,  0x0F, V::None},
    {"PVW",        0x0015, U, false, 917504,  kMax128x7, E::LargeUnit, 128, 0,    false, A::ReplugWait2, false, false, NF,   V::PvPointCount},
    {"MR8-TQ8",    0x0020, U, false, 2076672, kMax2028,  E::Sector,    256, 4096, true,  A::ReplugWait5, false, true,  NF,   V::None},
    {"RLX-G",      0xA00B, U, false, 2076672, kMax2028,  E::Sector,    256, 4096, true,  A::ReplugWait5, false, true,  NF,   V::None},
    {"QB3",        0x3020, U, false, 2076672, kMax2028,  E::Sector,    256, 4096, true,  A::ReplugWait5, false, true,  NF,   V::None},
    {"TQ8-AIO",    0x0020, U, true,  40960,   kMax40,    E::AioUnit,   256, 0,    false, A::ReplugWait5, false, true,  0x11, V::None},
    {"MR7-TQ7-V4", 0x000C, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::Mr7},
    {"NZ-V4",      0x0008, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::NzGeneration},
    {"BOW-MR7-V4", 0xA001, S, false, 491520,  kMax2x240, E::SmallUnit, 128, 0,    false, A::Wait1,       false, false, NF,   V::BowGeneration},
    {"MR8-BUNDLE", 0x0020, U, false, 2076672, kMax2028,  E::Sector,    256, 4096, true,  A::ReplugWait5, false, true,  NF,   V::None},
    {"MR7-K-V4",   0x000C, S, false, 524288,  kMax128x4, E::LargeUnit, 128, 0,    false, A::PowerCycle,  true,  false, NF,   V::Mr7},
    {"NW8NZ8",     0x0022, U, false, 2076672, kMax2028,  E::Sector,    256, 4096, true,  A::ReplugWait5, false, true,  NF,   V::None},
    {"NZ8-AIO",    0x0022, U, true,  40960,   kMax40,    E::AioUnit,   256, 0,    false, A::ReplugWait5, false, true,  0x0F, V::None},
};
// clang-format on

// The model list's name slots (the 32nd empty) and type identifiers, as the window
// fills its list and the look-up searches it.
struct NameSlots {
    char names[kModelCount + 1][kModelNameSlot];
    std::uint16_t ids[kModelCount + 1];
};

constexpr NameSlots MakeNameSlots() {
    NameSlots slots{};
    for (int i = 0; i < kModelCount; ++i) {
        for (int c = 0; c < kModelNameSlot && kModels[i].name[c] != '\0'; ++c) {
            slots.names[i][c] = kModels[i].name[c];
        }
        slots.ids[i] = kModels[i].typeId;
    }
    return slots;
}

constexpr NameSlots kNameSlots = MakeNameSlots();

}  // namespace

const char (&plcList)[kModelCount + 1][kModelNameSlot] = kNameSlots.names;
const std::uint16_t (&plcID)[kModelCount + 1] = kNameSlots.ids;

const PlcModel& ModelAt(int index) {
    return kModels[index];
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
