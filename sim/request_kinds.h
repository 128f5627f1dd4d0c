// Which request a message or a write is, as the PLC tells them apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim_types.h"

namespace plcsim {

// `message` is the decoded frame without its LRC.
Exchange ClassifyMessage(const std::vector<std::uint8_t>& message);

// A whole write from the tool, classified without changing any state; nullopt when it
// is no request the PLC would recognise. `transferPhase`: the bootloader has taken
// "UPDATE" and expects blocks.
std::optional<Exchange> ClassifyWrite(const std::uint8_t* data, std::size_t count, bool bootloader,
                                      bool transferPhase);

struct BootWord {
    const char* text;
    std::size_t length;
    Exchange kind;
};

// The bootloader's command words.
const BootWord* BootWords(std::size_t& count);

}  // namespace plcsim
