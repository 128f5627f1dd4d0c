#include "link/transfer_plan.h"

namespace norvane {

namespace {

std::uint32_t CeilShift(std::uint32_t n, unsigned shift) {
    const std::uint32_t mask = (1u << shift) - 1;
    return (n >> shift) + ((n & mask) != 0 ? 1u : 0u);
}

}  // namespace

bool EraseCount(const PlcModel& model, std::uint32_t n, std::uint16_t& count) {
    if (!ImageCoversReservedTail(model, n)) {
        return false;
    }
    std::uint32_t units = 0;
    switch (model.eraseCountRule) {
        case EraseCountRule::LargeUnit:
            units = (n >> 17) + 1;
            break;
        case EraseCountRule::PvUnit:
            units = (n >> 14) + 1;
            break;
        case EraseCountRule::Sector:
            units = CeilShift(n - model.reservedTail, 12);
            break;
        case EraseCountRule::AioUnit:
            units = CeilShift(n, 11);
            break;
        case EraseCountRule::FixedFour:
            units = 4;
            break;
        case EraseCountRule::SmallUnit:
            units = (n >> 11) + 1;
            break;
    }
    if (units > 0xFFFF) {
        return false;
    }
    count = static_cast<std::uint16_t>(units);
    return true;
}

bool PlanBlocks(const PlcModel& model, std::uint32_t n, BlockPlan& plan) {
    if (!ImageCoversReservedTail(model, n)) {
        return false;
    }
    const std::uint32_t sent = n - model.reservedTail;
    const unsigned shift = model.blockSize == 256 ? 8 : 7;
    plan.blockSize = model.blockSize;
    plan.blockCount = static_cast<std::int32_t>(CeilShift(sent, shift));
    plan.lastBytes = sent & (model.blockSize - 1u);
    return true;
}

}  // namespace norvane
