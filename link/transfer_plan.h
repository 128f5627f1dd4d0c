// How many erase units and firmware blocks an image of n bytes takes on a model.
#pragma once

#include <cstdint>

#include "burn/catalogue.h"

namespace norvane {

// The erase count N for an image of n bytes. False when the model keeps a
// reserved tail longer than the image (the count would wrap around) or the
// count does not fit 16 bits.
bool EraseCount(const PlcModel& model, std::uint32_t n, std::uint16_t& count);

struct BlockPlan {
    std::uint32_t blockSize;  // B: data bytes per block
    std::int32_t blockCount;  // M
    std::uint32_t lastBytes;  // r: image bytes in the last block, 0 when it is full
};

// False when the model keeps a reserved tail longer than the image.
bool PlanBlocks(const PlcModel& model, std::uint32_t n, BlockPlan& plan);

// True when the image is long enough for the model's reserved tail.
inline bool ImageCoversReservedTail(const PlcModel& model, std::uint32_t n) {
    return n >= model.reservedTail;
}

}  // namespace norvane
