#include "burn/variant_checks.h"

#include <cstring>

#include "link/app_commands.h"

namespace norvane {

namespace {

bool Is(const PlcModel& model, const char* name) {
    return std::strcmp(model.name, name) == 0;
}

// The two models of one PLC family, before and after the generation 4 firmware.
struct Generations {
    const char* v2Name;
    const char* v4Name;
    const char* upgradeRefused;    // a PLC on older firmware with the V4 model selected
    const char* downgradeRefused;  // a generation 4 PLC with the older model selected
};

const char* GenerationFailure(const PlcModel& selected, const RegisterRead& read,
                              const Generations& family) {
    if (IsGeneration4(read(1001))) {
        return Is(selected, family.v4Name) ? nullptr : family.downgradeRefused;
    }
    return Is(selected, family.v2Name) ? nullptr : family.upgradeRefused;
}

const char* Mr7Failure(const PlcModel& selected, const RegisterRead& read) {
    const std::uint16_t variant = read(1386);
    const bool kind = variant == 0x4138 || variant == 0x4137;
    if (kind && !Is(selected, "MR7-K-V2") && !Is(selected, "MR7-K-V4")) {
        return "Check PLC, MR7-TQ7 is different than MR7-K";
    }
    static const Generations kK{"MR7-K-V2", "MR7-K-V4",
                                "MR7-K V2.xx / V3.xx CAN NOT upgrade to V4.xx ",
                                "MR7-K V4.xx CAN NOT downgrade to V2.xx / V3.xx "};
    static const Generations kTq{"MR7-TQ7-V2", "MR7-TQ7-V4",
                                 "MR7-TQ7 V2.xx / V3.xx CAN NOT upgrade to V4.xx ",
                                 "MR7-TQ7 V4.xx CAN NOT downgrade to V2.xx / V3.xx "};
    return GenerationFailure(selected, read, kind ? kK : kTq);
}

const char* PointCountFailure(const PlcModel& selected, const RegisterRead& read,
                              const char* smallModel, const char* largeModel,
                              const char* largeRefused, const char* smallRefused) {
    const bool large = read(1148) != 0;
    if (large) {
        return Is(selected, largeModel) ? nullptr : largeRefused;
    }
    return Is(selected, smallModel) ? nullptr : smallRefused;
}

}  // namespace

const char* VariantCheckFailure(const ExchangeContext& x) {
    return VariantCheckFailure(x.model, [&x](std::uint16_t dataRegister) {
        switch (dataRegister) {
            case 1386:
                return READ_D1386(x);
            case 1001:
                return READ_D1001(x);
            default:
                return READ_D1148(x);
        }
    });
}

std::vector<std::uint16_t> VariantRegisters(VariantCheck check) {
    switch (check) {
        case VariantCheck::None:
            return {};
        case VariantCheck::Mr7:
            return {1386, 1001};
        case VariantCheck::Nr4PointCount:
        case VariantCheck::PvPointCount:
            return {1148};
        case VariantCheck::NzGeneration:
        case VariantCheck::BowGeneration:
            return {1001};
    }
    return {};
}

const char* VariantCheckFailure(const PlcModel& selected, const RegisterRead& read) {
    switch (selected.variantCheck) {
        case VariantCheck::None:
            return nullptr;
        case VariantCheck::Mr7:
            return Mr7Failure(selected, read);
        case VariantCheck::Nr4PointCount:
            return PointCountFailure(selected, read, "NR4", "NR4W",
                                     "Check PLC, 12NR4 is different than 28NR4",
                                     "Check PLC, 28NR4 is different than 12NR4");
        case VariantCheck::PvPointCount:
            return PointCountFailure(selected, read, "PV", "PVW",
                                     "Check PLC, 12PV is different than 26PV",
                                     "Check PLC, 26PV is different than 12PV");
        case VariantCheck::NzGeneration: {
            static const Generations kNz{"NZ-V3", "NZ-V4", "NZ V3.xx CAN NOT upgrade to V4.xx ",
                                         "NZ V4.xx CAN NOT downgrade to V3.xx "};
            return GenerationFailure(selected, read, kNz);
        }
        case VariantCheck::BowGeneration: {
            static const Generations kBow{"BOW-MR7-V2", "BOW-MR7-V4",
                                          "BOW-MR7 V2.xx / V3.xx CAN NOT upgrade to V4.xx ",
                                          "BOW-MR7 V4.xx CAN NOT downgrade to V2.xx / V3.xx "};
            return GenerationFailure(selected, read, kBow);
        }
    }
    return nullptr;
}

const char* BootVersionGateFailure(const PlcModel& selected, std::uint8_t version) {
    if (selected.bootVersionFloor == kNoBootVersionFloor || version > selected.bootVersionFloor) {
        return nullptr;
    }
    if (Is(selected, "TQ8-AIO") && version == 0x10) {
        return "The bootloader version is V1.0, do not support AIO FW update";
    }
    if (!Is(selected, "TQ8-AIO") && version == 0x09) {
        return "The bootloader version is V0.9, do not support AIO FW update";
    }
    return "The bootloader version is unknown, do not support AIO FW update";
}

}  // namespace norvane
