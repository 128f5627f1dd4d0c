// Every model's attributes, written out row by row from the product tables, so
// a slip in the group rules of the catalogue shows up as one wrong row.
#include "burn/catalogue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace norvane {
namespace {

using E = EraseCountRule;
using A = AfterAppErase;
using V = VariantCheck;
constexpr LinkKind U = LinkKind::Usb;
constexpr LinkKind S = LinkKind::Serial;
constexpr std::int16_t NF = kNoBootVersionFloor;

struct Row {
    const char* name;
    std::uint16_t id;
    LinkKind link;
    bool aio;
    std::uint32_t limit;
    const char* limitFactors;  // what the message names
    E erase;
    std::uint16_t block;
    std::uint32_t tail;
    bool single;
    A after;
    bool silent;
    bool bootVersion;
    std::int16_t floor;
    V variant;
};

constexpr const char* k2x240 = "(2 * 1024 * 240)";
constexpr const char* k128x4 = "(128 * 1024 * 4)";
constexpr const char* k128x7 = "(128 * 1024 * 7)";
constexpr const char* k2028 = "(2028 * 1024)";
constexpr const char* k40 = "(40 * 1024)";
constexpr const char* k4 = "(4 * 1024)";

const Row kRows[kModelCount] = {
    {"MR7-TQ7-V2", 0x000C, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false,
     false, NF, V::Mr7},
    {"NT4", 0x000E, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false, false,
     NF, V::None},
    {"NZ4", 0x000F, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false, false,
     NF, V::None},
    {"NR4", 0x0013, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false, false,
     NF, V::Nr4PointCount},
    {"MR7-K-V2", 0x000C, S, false, 524288, k128x4, E::LargeUnit, 128, 0, false, A::PowerCycle, true,
     false, NF, V::Mr7},
    {"PV", 0x0015, U, false, 491520, k2x240, E::PvUnit, 256, 0, false, A::ReplugWait2, false, false,
     NF, V::PvPointCount},
    {"MG5", 0x0000, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false, false,
     NF, V::None},
    {"TQ7P-AIO", 0x000D, S, true, 4096, k4, E::FixedFour, 256, 0, false, A::Wait1, false, false, NF,
     V::None},
    {"NZ-V3", 0x0008, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false, false,
     NF, V::NzGeneration},
    {"BOW-MR7-V2", 0xA001, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false,
     false, NF, V::BowGeneration},
    {"PV-U", 0xA002, U, false, 491520, k2x240, E::PvUnit, 256, 0, false, A::ReplugWait2, false,
     false, NF, V::None},
    {"NR4-U", 0xA003, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false, false,
     NF, V::None},
    {"QB7", 0x3000, U, false, 2076672, k2028, E::Sector, 256, 4096, true, A::ReplugWait5, false,
     true, NF, V::None},
    {"MR-TQ-MG4", 0x0003, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false,
     false, NF, V::None},
    {"TQ7-ROV", 0xA006, S, false, 524288, k128x4, E::LargeUnit, 128, 0, false, A::PowerCycle, true,
     false, NF, V::None},
    {"NR4W", 0x0013, S, false, 524288, k128x4, E::LargeUnit, 128, 0, false, A::Wait1, false, false,
     NF, V::Nr4PointCount},
    {"MR7-P", 0x0017, S, false, 917504, k128x7, E::LargeUnit, 128, 0, false, A::Wait1, false, false,
     NF, V::None},
    {"QB5", 0x3010, U, false, 2076672, k2028, E::Sector, 256, 4096, true, A::ReplugWait5, false,
     true, NF, V::None},
    {"QB5-AIO", 0x3010, U, true, 40960, k40, E::AioUnit, 256, 0, false, A::ReplugWait5, false, true,
     0x0F, V::None},
    {"PVW", 0x0015, U, false, 917504, k128x7, E::LargeUnit, 128, 0, false, A::ReplugWait2, false,
     false, NF, V::PvPointCount},
    {"MR8-TQ8", 0x0020, U, false, 2076672, k2028, E::Sector, 256, 4096, true, A::ReplugWait5, false,
     true, NF, V::None},
    {"RLX-G", 0xA00B, U, false, 2076672, k2028, E::Sector, 256, 4096, true, A::ReplugWait5, false,
     true, NF, V::None},
    {"QB3", 0x3020, U, false, 2076672, k2028, E::Sector, 256, 4096, true, A::ReplugWait5, false,
     true, NF, V::None},
    {"TQ8-AIO", 0x0020, U, true, 40960, k40, E::AioUnit, 256, 0, false, A::ReplugWait5, false, true,
     0x11, V::None},
    {"MR7-TQ7-V4", 0x000C, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false,
     false, NF, V::Mr7},
    {"NZ-V4", 0x0008, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false, false,
     NF, V::NzGeneration},
    {"BOW-MR7-V4", 0xA001, S, false, 491520, k2x240, E::SmallUnit, 128, 0, false, A::Wait1, false,
     false, NF, V::BowGeneration},
    {"MR8-BUNDLE", 0x0020, U, false, 2076672, k2028, E::Sector, 256, 4096, true, A::ReplugWait5,
     false, true, NF, V::None},
    {"MR7-K-V4", 0x000C, S, false, 524288, k128x4, E::LargeUnit, 128, 0, false, A::PowerCycle, true,
     false, NF, V::Mr7},
    {"NW8NZ8", 0x0022, U, false, 2076672, k2028, E::Sector, 256, 4096, true, A::ReplugWait5, false,
     true, NF, V::None},
    {"NZ8-AIO", 0x0022, U, true, 40960, k40, E::AioUnit, 256, 0, false, A::ReplugWait5, false, true,
     0x0F, V::None},
};

TEST(Catalogue, EveryModelHasItsAttributes) {
    for (int i = 0; i < kModelCount; ++i) {
        const Row& row = kRows[i];
        const PlcModel& m = ModelAt(i);
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(m.name, row.name);
        EXPECT_STREQ(plcList[i], row.name);
        EXPECT_EQ(plcID[i], row.id);
        EXPECT_EQ(m.typeId, row.id);
        EXPECT_EQ(m.linkKind, row.link);
        EXPECT_EQ(m.aioFraming, row.aio);
        EXPECT_EQ(m.sizeLimit, row.limit);
        const std::string message = m.sizeLimitMessage;
        EXPECT_EQ(message,
                  std::string("The file size EXCEEDS the MAXIMUM size ") + row.limitFactors);
        EXPECT_EQ(m.eraseCountRule, row.erase);
        EXPECT_EQ(m.blockSize, row.block);
        EXPECT_EQ(m.reservedTail, row.tail);
        EXPECT_EQ(m.singleEraseAttempt, row.single);
        EXPECT_EQ(m.afterAppErase, row.after);
        EXPECT_EQ(m.silentEraseOk, row.silent);
        EXPECT_EQ(m.readsBootVersion, row.bootVersion);
        EXPECT_EQ(m.bootVersionFloor, row.floor);
        EXPECT_EQ(m.variantCheck, row.variant);
        EXPECT_EQ(FindModel(row.name), i);
    }
    EXPECT_STREQ(plcList[kModelCount], "");
}

TEST(Catalogue, LookUpIsExactAndCaseSensitive) {
    EXPECT_EQ(FindModel("QB7"), 12);
    EXPECT_EQ(FindModel("qb7"), -1);
    EXPECT_EQ(FindModel("QB7 "), -1);
    EXPECT_EQ(FindModel(""), -1);
    EXPECT_EQ(FindModel(nullptr), -1);
}

TEST(Catalogue, TypeIdentifierRules) {
    struct Case {
        LinkKind kind;
        std::uint16_t selected;
        std::uint16_t reported;
        bool app;
        bool boot;
    };
    const Case cases[] = {
        {S, 0x000C, 0x000C, true, true},   {S, 0x000C, 0x000D, true, true},
        {S, 0x000D, 0x000C, false, false}, {S, 0x000D, 0x000D, true, true},
        {S, 0xA003, 0x2003, false, true},  {S, 0xA003, 0xA003, true, false},
        {S, 0xA001, 0x2001, false, true},  {S, 0xA006, 0x2006, false, true},
        {U, 0xA002, 0xA002, true, true},   {U, 0xA002, 0x2002, false, false},
        {S, 0x0000, 0x0000, true, true},   {U, 0x3000, 0x3000, true, true},
        {U, 0x3000, 0x3010, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.selected << " reported " << c.reported);
        EXPECT_EQ(AppTypeMatches(c.selected, c.reported), c.app);
        EXPECT_EQ(BootTypeMatches(c.kind, c.selected, c.reported), c.boot);
    }
}

}  // namespace
}  // namespace norvane
