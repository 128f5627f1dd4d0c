// The 31 PLC models the tool knows, and every property in which they differ.
#pragma once

#include <cstdint>

namespace norvane {

enum class LinkKind : std::uint8_t { Usb, Serial };

// How many "ERASE" commands the bootloader erase sends for an image of n bytes.
enum class EraseCountRule : std::uint8_t {
    LargeUnit,  // floor(n / 131072) + 1
    PvUnit,     // floor(n / 16384) + 1
    Sector,     // ceil((n - 4096) / 4096)
    AioUnit,    // ceil(n / 2048)
    FixedFour,  // 4, whatever the size
    SmallUnit,  // floor(n / 2048) + 1
};

// What follows a successful application-mode erase request.
enum class AfterAppErase : std::uint8_t { ReplugWait2, ReplugWait5, PowerCycle, Wait1 };

// Which registers tell the PLC's variant apart before erasing (application mode).
enum class VariantCheck : std::uint8_t {
    None,
    Mr7,            // 0x000C: D1386 (MR7-K or MR7-TQ7) and D1001 (generation)
    Nr4PointCount,  // 0x0013: D1148
    PvPointCount,   // 0x0015: D1148
    NzGeneration,   // 0x0008: D1001
    BowGeneration,  // 0xA001: D1001
};

constexpr int kModelCount = 31;
constexpr int kModelNameSlot = 15;  // 14 characters and the NUL
constexpr std::int16_t kNoBootVersionFloor = -1;

struct PlcModel {
    char name[kModelNameSlot];
    std::uint16_t typeId;
    LinkKind linkKind;
    bool aioFraming;
    std::uint32_t sizeLimit;
    const char* sizeLimitMessage;
    EraseCountRule eraseCountRule;
    std::uint16_t blockSize;
    std::uint32_t reservedTail;
    bool singleEraseAttempt;
    AfterAppErase afterAppErase;
    bool silentEraseOk;
    bool readsBootVersion;
    std::int16_t bootVersionFloor;  // highest refused version byte, or kNoBootVersionFloor
    VariantCheck variantCheck;
};

// Name slots in catalogue order (slot 31 is empty), and the type identifiers beside them.
extern const char (&plcList)[kModelCount + 1][kModelNameSlot];
extern const std::uint16_t (&plcID)[kModelCount + 1];

const PlcModel& ModelAt(int index);

// Exact, case-sensitive look-up; -1 when the name is not in the catalogue.
int FindModel(const char* name);

// Application mode: 0x000C accepts 0x000C or 0x000D; all others match exactly.
bool AppTypeMatches(std::uint16_t selected, std::uint16_t reported);

// Bootloader mode: Usb models match exactly; Serial 0x000C accepts 0x000C/0x000D;
// other Serial identifiers are compared with bit 15 cleared.
bool BootTypeMatches(LinkKind kind, std::uint16_t selected, std::uint16_t reported);

}  // namespace norvane
