#include "test_image.h"

namespace plcsim {

std::vector<std::uint8_t> TestImage(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> image(size);
    // The seed is spread over the whole state first: seeds 1, 2, 3 would otherwise
    // start nearly alike. The low bits of this generator repeat quickly, so each
    // byte is taken from the top.
    std::uint32_t x = seed * 2246822519u + 1;
    for (std::uint8_t& b : image) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return image;
}

}  // namespace plcsim
