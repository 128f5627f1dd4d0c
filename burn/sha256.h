// SHA-256, so a technician can check which image a build carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace norvane {

// The digest of `count` bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const std::uint8_t* data, std::size_t count);

}  // namespace norvane
