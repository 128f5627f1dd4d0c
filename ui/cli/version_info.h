// What --version prints: the program, the model it serves and the image it
// carries (or the firmware file given).
#pragma once

#include <string>

namespace norvane::cli {

std::string VersionText();

}  // namespace norvane::cli
