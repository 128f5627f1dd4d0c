// Stray bytes on the line ahead of one reply (noise as the cable goes in, the late
// answer of an earlier attempt) cost the exchange they hit one attempt at most: every
// reply is read by its length, so bytes left over would shift every later reply.
#include <gtest/gtest.h>

#include "burn_rig.h"

namespace norvane::test {
namespace {

using plcsim::Exchange;
using plcsim::Fault;
using plcsim::FaultKind;

struct StrayCase {
    const char* model;
    Exchange exchange;
    std::uint32_t occurrence;  // which request of that kind gets the stray bytes ahead of its reply
};

// Every exchange that reads a reply, on a model that runs it. The sector models
// give each erase unit a single attempt, so the erase is taken on a serial model.
// "UPDATE" is not among them: the PLC turns to the transfer as it acknowledges it,
// so a repeated "UPDATE" meets a PLC that takes no more command words, and a lost
// acknowledgement there ends the burn with its own message.
const StrayCase kCases[] = {
    {"QB7", Exchange::ModeQuery, 1},     // application
    {"QB7", Exchange::ModeQuery, 2},     // bootloader
    {"QB7", Exchange::TypeId, 1},        //
    {"QB7", Exchange::Version, 1},       //
    {"QB7", Exchange::EraseRequest, 1},  //
    {"QB7", Exchange::BootId, 1},        //
    {"QB7", Exchange::BootVersion, 1},   //
    {"QB7", Exchange::BootEraseEnd, 1},  //
    {"QB7", Exchange::Block, 1},         //
    {"QB7", Exchange::Block, 5},         //
    {"QB7", Exchange::TransferEnd, 1},   //
    {"NR4", Exchange::ReadRegister, 1},  // D1148
    {"NR4", Exchange::BootErase, 2},     //
    {"NR4", Exchange::TransferEnd, 1},   //
};

struct Burnt {
    BurnOutcome outcome;
    bool flashHoldsImage;
    std::size_t requests;
    std::string finalMessage;
};

Burnt BurnWithStrayBytes(const StrayCase& c, std::uint32_t strayBytes) {
    SelectModel(FindModel(c.model));
    const std::uint32_t size = SelectedModel().reservedTail ? 4096 + 8 * 256 : 1000;
    BurnRig rig(c.model, size, [&](plcsim::PlcConfig& config) {
        if (strayBytes > 0) {
            config.faults.Add(
                Fault::At(c.exchange, c.occurrence, FaultKind::GarbageBefore, strayBytes));
        }
    });
    rig.Run();
    return {rig.outcome, rig.FlashHoldsImage(), rig.Requests(c.exchange), rig.Final().text};
}

TEST(StrayBytes, AheadOfAnyReplyCostAtMostOneAttemptAndTheBurnSucceeds) {
    for (const StrayCase& c : kCases) {
        const Burnt clean = BurnWithStrayBytes(c, 0);
        ASSERT_EQ(clean.outcome, BurnOutcome::Success) << c.model << " " << clean.finalMessage;
        for (std::uint32_t stray = 1; stray <= 18; ++stray) {
            const Burnt burnt = BurnWithStrayBytes(c, stray);
            const std::string where =
                std::string(c.model) + ", " + plcsim::ExchangeName(c.exchange) + " #" +
                std::to_string(c.occurrence) + ", " + std::to_string(stray) + " stray bytes";
            EXPECT_EQ(burnt.outcome, BurnOutcome::Success) << where << ": " << burnt.finalMessage;
            EXPECT_TRUE(burnt.flashHoldsImage) << where;
            EXPECT_LE(burnt.requests, clean.requests + 1) << where;
        }
    }
}

}  // namespace
}  // namespace norvane::test
