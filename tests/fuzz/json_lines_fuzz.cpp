// A station and a several-PLC run read their burn processes' lines with
// ReadEventLine: any bytes must be taken or refused without fault, and an event
// it takes it must write back so that it reads the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "line/event_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const auto event = norvane::line::ReadEventLine(line);
    if (!event) {
        return 0;
    }
    const std::string written = norvane::line::EventLine(*event);
    const auto again = norvane::line::ReadEventLine(written);
    if (!again || norvane::line::EventLine(*again) != written) {
        std::abort();
    }
    return 0;
}
