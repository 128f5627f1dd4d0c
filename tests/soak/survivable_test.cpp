// The line between trouble the protocol must come through and trouble that ends a
// burn by design: the soak holds every burn on the first side to success.
#include "survivable.h"

#include <gtest/gtest.h>

#include "burn/catalogue.h"
#include "soak_burn.h"

namespace norvane::soak {
namespace {

using plcsim::Exchange;
using plcsim::Fault;
using plcsim::FaultKind;

SoakPlan Plan(const char* model, std::uint32_t imageSize, std::vector<Fault> faults) {
    SoakPlan plan;
    plan.seed = 1;
    plan.model = FindModel(model);
    plan.imageSize = imageSize;
    plan.plc.model = model;
    for (const Fault& f : faults) {
        plan.plc.faults.Add(f);
    }
    return plan;
}

Fault Faults(Exchange exchange, std::uint32_t first, FaultKind kind, std::uint32_t times,
             std::uint32_t value = 0) {
    return Fault::At(exchange, first, kind, value).Times(times);
}

TEST(Survivable, TransientTroubleIsSurvivedAndTheRestIsNot) {
    struct Case {
        const char* what;
        SoakPlan plan;
        bool survivable;
    };
    const Case cases[] = {
        {"no trouble", Plan("QB7", 8192, {}), true},
        {"five NAKs of one block",
         Plan("QB7", 8192, {Faults(Exchange::Block, 3, FaultKind::Nak, 5)}), true},
        {"six NAKs of one block",
         Plan("QB7", 8192, {Faults(Exchange::Block, 3, FaultKind::Nak, 6)}), false},
        {"two faults that meet on six attempts",
         Plan("NT4", 3000,
              {Faults(Exchange::ModeQuery, 1, FaultKind::Silent, 3),
               Faults(Exchange::ModeQuery, 4, FaultKind::CorruptLrc, 3)}),
         false},
        {"five failed writes and five lost replies",
         Plan("NT4", 3000,
              {Faults(Exchange::TypeId, 1, FaultKind::WriteFailure, 5),
               Faults(Exchange::TypeId, 1, FaultKind::LostAck, 5)}),
         true},
        {"stray bytes ahead of an erase acknowledgement, repeatable erase",
         Plan("NT4", 3000, {Faults(Exchange::BootErase, 2, FaultKind::GarbageBefore, 2, 18)}),
         true},
        {"stray bytes ahead of an erase acknowledgement, single attempt",
         Plan("QB7", 8192, {Faults(Exchange::BootErase, 2, FaultKind::GarbageBefore, 1, 3)}),
         false},
        {"lost acknowledgement of UPDATE",
         Plan("NT4", 3000, {Faults(Exchange::BootUpdate, 1, FaultKind::LostAck, 1)}), false},
        {"UPDATE not heard",
         Plan("NT4", 3000, {Faults(Exchange::BootUpdate, 1, FaultKind::Silent, 2)}), true},
        {"a reply within the time-out",
         Plan("NT4", 3000, {Faults(Exchange::BootId, 1, FaultKind::Delay, 6, 2900)}), true},
        {"a reply after the time-out",
         Plan("NT4", 3000, {Faults(Exchange::BootId, 1, FaultKind::Delay, 1, 3100)}), false},
        {"an acknowledgement that reads as a flash write error",
         Plan("NT4", 3000, {Faults(Exchange::Block, 2, FaultKind::WrongStatus, 1, 0x0116)}), false},
        {"a mode query answered with the other mode",
         Plan("NT4", 3000, {Faults(Exchange::ModeQuery, 1, FaultKind::WrongStatus, 1, 6)}), false},
        {"a lost erase acknowledgement with no unit to spare",
         Plan("TQ7P-AIO", 3000, {Faults(Exchange::BootErase, 4, FaultKind::LostAck, 1)}), false},
        {"one lost hand-over",
         Plan("NT4", 3000, {Faults(Exchange::EraseConfirm, 1, FaultKind::Silent, 1)}), true},
        {"a PLC that never hands over",
         Plan("NT4", 3000, {Fault::Every(Exchange::EraseRequest, FaultKind::StayInApplication)}),
         false},
        {"an image the model refuses", Plan("QB7", 4095, {}), false},
    };
    for (const Case& c : cases) {
        const Verdict verdict = JudgePlan(c.plan);
        EXPECT_EQ(verdict.survivable, c.survivable) << c.what << ": " << verdict.why;
        if (c.survivable) {
            // What is called survivable is survived.
            const BurnReport report = RunBurn(c.plan);
            EXPECT_TRUE(report.success && report.flashHoldsImage)
                << c.what << ": " << report.finalMessage;
        }
    }
}

}  // namespace
}  // namespace norvane::soak
