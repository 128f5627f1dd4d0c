// The catalogue's table against the rules by which the models differ: the groups
// of the model list and the exceptions named one by one, worked out here from the
// groups so that a slip in one cell of the table shows as one wrong attribute.
#include "burn/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "burn/model_selection.h"
#include "burn/variant_checks.h"

namespace norvane {
namespace {

using E = EraseCountRule;
using A = AfterAppErase;
using V = VariantCheck;
constexpr LinkKind U = LinkKind::Usb;
constexpr LinkKind S = LinkKind::Serial;

using Group = std::initializer_list<const char*>;
const Group kUsb = {"PV",      "PV-U",       "PVW",     "QB7",   "QB5",    "QB5-AIO", "QB3",
                    "MR8-TQ8", "MR8-BUNDLE", "TQ8-AIO", "RLX-G", "NW8NZ8", "NZ8-AIO"};
const Group kAio = {"TQ7P-AIO", "QB5-AIO", "TQ8-AIO", "NZ8-AIO"};
const Group kSector = {"QB7", "QB5", "MR8-TQ8", "MR8-BUNDLE", "RLX-G", "QB3", "NW8NZ8"};
const Group kLargeUnit = {"MR7-K-V2", "MR7-K-V4", "TQ7-ROV", "NR4W", "MR7-P", "PVW"};
const Group kPowerCycle = {"MR7-K-V2", "MR7-K-V4", "TQ7-ROV"};
const Group kPv = {"PV", "PV-U"};
const Group kAioUnit = {"QB5-AIO", "TQ8-AIO", "NZ8-AIO"};

bool In(const std::string& name, Group group) {
    return std::any_of(group.begin(), group.end(), [&](const char* g) { return name == g; });
}

std::uint32_t Limit(const std::string& name, std::string& factors) {
    struct Rule {
        Group models;
        std::uint32_t bytes;
        const char* factors;
    };
    const Rule rules[] = {
        {{"MR7-K-V2", "MR7-K-V4", "TQ7-ROV", "NR4W"}, 128 * 1024 * 4, "(128 * 1024 * 4)"},
        {{"MR7-P", "PVW"}, 128 * 1024 * 7, "(128 * 1024 * 7)"},
        {{"TQ7P-AIO"}, 4 * 1024, "(4 * 1024)"},
        {kAioUnit, 40 * 1024, "(40 * 1024)"},
        {kSector, 2028 * 1024, "(2028 * 1024)"},
    };
    for (const Rule& rule : rules) {
        if (In(name, rule.models)) {
            factors = rule.factors;
            return rule.bytes;
        }
    }
    factors = "(2 * 1024 * 240)";
    return 2 * 1024 * 240;
}

E EraseRule(const std::string& name) {
    return In(name, kLargeUnit) ? E::LargeUnit
           : In(name, kPv)      ? E::PvUnit
           : In(name, kSector)  ? E::Sector
           : In(name, kAioUnit) ? E::AioUnit
           : name == "TQ7P-AIO" ? E::FixedFour
                                : E::SmallUnit;
}

A After(const std::string& name) {
    return In(name, kPowerCycle)             ? A::PowerCycle
           : In(name, {"PV", "PV-U", "PVW"}) ? A::ReplugWait2
           : In(name, kUsb)                  ? A::ReplugWait5
                                             : A::Wait1;
}

V Variant(std::uint16_t id) {
    switch (id) {
        case 0x000C:
            return V::Mr7;
        case 0x0013:
            return V::Nr4PointCount;
        case 0x0015:
            return V::PvPointCount;
        case 0x0008:
            return V::NzGeneration;
        case 0xA001:
            return V::BowGeneration;
        default:
            return V::None;
    }
}

TEST(Catalogue, EveryAttributeFollowsTheGroupsOfItsModel) {
    for (int i = 0; i < kModelCount; ++i) {
        const PlcModel& m = ModelAt(i);
        const std::string name = m.name;
        SCOPED_TRACE(name);
        const bool sector = In(name, kSector);
        EXPECT_EQ(m.linkKind, In(name, kUsb) ? U : S);
        EXPECT_EQ(m.aioFraming, In(name, kAio));
        std::string factors;
        EXPECT_EQ(m.sizeLimit, Limit(name, factors));
        EXPECT_EQ(std::string(m.sizeLimitMessage),
                  "The file size EXCEEDS the MAXIMUM size " + factors);
        EXPECT_EQ(m.eraseCountRule, EraseRule(name));
        EXPECT_EQ(m.blockSize, sector || In(name, kAio) || In(name, kPv) ? 256 : 128);
        EXPECT_EQ(m.reservedTail, sector ? 4096u : 0u);
        EXPECT_EQ(m.singleEraseAttempt, sector);
        EXPECT_EQ(m.afterAppErase, After(name));
        EXPECT_EQ(m.silentEraseOk, In(name, kPowerCycle));
        const std::uint16_t id = m.typeId;
        EXPECT_EQ(m.readsBootVersion, id == 0x3000 || id == 0x3010 || id == 0x0020 ||
                                          id == 0xA00B || id == 0x3020 || id == 0x0022);
        EXPECT_EQ(m.bootVersionFloor, In(name, {"QB5-AIO", "NZ8-AIO"}) ? 0x0F
                                      : name == "TQ8-AIO"              ? 0x11
                                                                       : kNoBootVersionFloor);
        EXPECT_EQ(m.variantCheck, Variant(id));
        EXPECT_STREQ(plcList[i], m.name);
        EXPECT_EQ(plcID[i], id);
        EXPECT_EQ(FindModel(m.name), i);
    }
    EXPECT_STREQ(plcList[kModelCount], "");
}

// The model list in its own order: the name and type identifier of each slot.
TEST(Catalogue, ModelListOrderAndTypeIdentifiers) {
    const std::pair<const char*, std::uint16_t> list[kModelCount] = {
        {"MR7-TQ7-V2", 0x000C}, {"NT4", 0x000E},       {"NZ4", 0x000F},
        {"NR4", 0x0013},        {"MR7-K-V2", 0x000C},  {"PV", 0x0015},
        {"MG5", 0x0000},        {"TQ7P-AIO", 0x000D},  {"NZ-V3", 0x0008},
        {"BOW-MR7-V2", 0xA001}, {"PV-U", 0xA002},      {"NR4-U", 0xA003},
        {"QB7", 0x3000},        {"MR-TQ-MG4", 0x0003}, {"TQ7-ROV", 0xA006},
        {"NR4W", 0x0013},       {"MR7-P", 0x0017},     {"QB5", 0x3010},
        {"QB5-AIO", 0x3010},    {"PVW", 0x0015},       {"MR8-TQ8", 0x0020},
        {"RLX-G", 0xA00B},      {"QB3", 0x3020},       {"TQ8-AIO", 0x0020},
        {"MR7-TQ7-V4", 0x000C}, {"NZ-V4", 0x0008},     {"BOW-MR7-V4", 0xA001},
        {"MR8-BUNDLE", 0x0020}, {"MR7-K-V4", 0x000C},  {"NW8NZ8", 0x0022},
        {"NZ8-AIO", 0x0022},
    };
    for (int i = 0; i < kModelCount; ++i) {
        EXPECT_STREQ(ModelAt(i).name, list[i].first) << i;
        EXPECT_EQ(ModelAt(i).typeId, list[i].second) << list[i].first;
    }
}

// Where the groups meet: shared identifiers, where the name decides, and the one
// USB model with the serial models' blocks and erase units.
TEST(Catalogue, EdgesOfTheGroups) {
    const std::pair<const char*, const char*> sharedIds[] = {
        {"NR4", "NR4W"}, {"PV", "PVW"}, {"QB5", "QB5-AIO"}};
    for (const auto& [a, b] : sharedIds) {
        const PlcModel& first = ModelAt(FindModel(a));
        const PlcModel& second = ModelAt(FindModel(b));
        EXPECT_EQ(first.typeId, second.typeId) << a;
        EXPECT_TRUE(first.sizeLimit != second.sizeLimit ||
                    first.eraseCountRule != second.eraseCountRule)
            << a << " and " << b << " differ by name";
    }
    const PlcModel& pvw = ModelAt(FindModel("PVW"));
    EXPECT_EQ(pvw.linkKind, U);
    EXPECT_EQ(pvw.blockSize, 128);
    EXPECT_EQ(pvw.eraseCountRule, E::LargeUnit);
    EXPECT_EQ(ModelAt(FindModel("MG5")).typeId, 0x0000);
    int usb = 0, aio = 0, sector = 0;
    for (int i = 0; i < kModelCount; ++i) {
        usb += ModelAt(i).linkKind == U ? 1 : 0;
        aio += ModelAt(i).aioFraming ? 1 : 0;
        sector += ModelAt(i).singleEraseAttempt ? 1 : 0;
    }
    EXPECT_EQ(usb, 13);
    EXPECT_EQ(aio, 4);
    EXPECT_EQ(sector, 7);
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

// A build whose image names no model of the catalogue serves the model the
// window's sorted list shows first, as the window selects it.
TEST(Catalogue, AnImageOfNoModelServesTheFirstModelOfTheList) {
    for (const char* name : {"XYZ_v1.bin", "firmware.bin", "_v1.bin"}) {
        EXPECT_STREQ(ModelAt(ServedModelIndex(name)).name, "BOW-MR7-V2") << name;
        EXPECT_EQ(ModelIndexForImageName(name), -1) << name;
    }
    EXPECT_STREQ(ModelAt(ServedModelIndex("qb5-aio_v1.bin")).name, "QB5-AIO");
}

// Every bootloader version a gated model refuses, with its own message where the
// version has one and "unknown" for the rest; every version above the floor passes.
TEST(BootVersionGate, EveryRefusedVersionOfEveryGatedModel) {
    const char* const kUnknown = "The bootloader version is unknown, do not support AIO FW update";
    const struct {
        const char* model;
        int floor;
        int named;  // the version with a message of its own
        const char* message;
    } gated[] = {
        {"QB5-AIO", 0x0F, 0x09, "The bootloader version is V0.9, do not support AIO FW update"},
        {"NZ8-AIO", 0x0F, 0x09, "The bootloader version is V0.9, do not support AIO FW update"},
        {"TQ8-AIO", 0x11, 0x10, "The bootloader version is V1.0, do not support AIO FW update"},
    };
    for (const auto& g : gated) {
        const PlcModel& model = ModelAt(FindModel(g.model));
        for (int version = 0; version <= 0xFF; ++version) {
            SCOPED_TRACE(std::string(g.model) + " version " + std::to_string(version));
            const char* refused = BootVersionGateFailure(model, static_cast<std::uint8_t>(version));
            if (version > g.floor) {
                EXPECT_EQ(refused, nullptr);
            } else {
                EXPECT_STREQ(refused, version == g.named ? g.message : kUnknown);
            }
        }
    }
    EXPECT_EQ(BootVersionGateFailure(ModelAt(FindModel("QB7")), 0), nullptr);  // no floor
}

}  // namespace
}  // namespace norvane
