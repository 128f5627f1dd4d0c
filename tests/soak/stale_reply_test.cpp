// Burns that the soak found ending "successful" with a block missing from the flash,
// kept as they were drawn and as the smallest burn that shows the same thing.
#include <gtest/gtest.h>

#include "burn/catalogue.h"
#include "soak_burn.h"
#include "soak_plan.h"

namespace norvane::soak {
namespace {

using plcsim::Exchange;
using plcsim::Fault;
using plcsim::FaultKind;

// A stray byte ahead of the acknowledgement of block 3 costs that block one resend;
// the first acknowledgement is then still waiting when block 4 is written, and the
// refusal of the last block must not be taken for its acknowledgement.
SoakPlan StaleAcknowledgementAheadOfARefusal() {
    SoakPlan plan;
    plan.seed = 7;
    plan.model = FindModel("NT4");
    plan.imageSize = 8 * 128;
    plan.plc.model = "NT4";
    plan.plc.faults.Add(Fault::At(Exchange::Block, 3, FaultKind::GarbageBefore, 1));
    plan.plc.faults.Add(Fault::At(Exchange::Block, 9, FaultKind::Nak));
    return plan;
}

TEST(StaleReplies, NeverPassForTheAcknowledgementOfALaterBlock) {
    const BurnReport report = RunBurn(StaleAcknowledgementAheadOfARefusal());
    EXPECT_TRUE(report.success) << report.finalMessage;
    EXPECT_TRUE(report.flashHoldsImage);
}

TEST(StaleReplies, SoakSeedsThatOnceReportedSuccessWithAMissingBlock) {
    for (const std::uint32_t seed : {1182u}) {
        const BurnReport report = RunBurn(MakePlan(seed));
        EXPECT_TRUE(!report.success || report.flashHoldsImage) << "seed " << seed;
    }
}

}  // namespace
}  // namespace norvane::soak
