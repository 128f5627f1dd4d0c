// The several-PLC parent reads its burn processes' lines with JsonObject::Parse:
// any bytes must be taken or refused without fault, and what it takes it must
// write back so that it reads the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ui/cli/json_object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const auto object = norvane::cli::JsonObject::Parse(line);
    if (!object) {
        return 0;
    }
    for (const std::string& key : object->Keys()) {
        (void)object->Text(key);
        (void)object->Number(key);
        (void)object->Flag(key);
    }
    const std::string written = object->ToString();
    const auto again = norvane::cli::JsonObject::Parse(written);
    if (!again || again->ToString() != written) {
        std::abort();
    }
    return 0;
}
