// The order in which port names are shown and chosen: runs of digits compare
// by their value, so ttyUSB2 comes before ttyUSB10.
#pragma once

#include <string>

namespace norvane::posix {

bool PortNameLess(const std::string& a, const std::string& b);

}  // namespace norvane::posix
