// Stand-in firmware for the tests, the benchmarks and the fuzzers: pseudo-random
// bytes that only depend on the size and the seed, so that a seeded burn can be
// replayed byte for byte and two seeds give two different images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plcsim {

std::vector<std::uint8_t> TestImage(std::size_t size, std::uint32_t seed = 1);

}  // namespace plcsim
