// What --version prints, and what the start of every burn says: the program, the
// model it serves and the image it carries.
#pragma once

#include <string>

#include "ui/cli/burn_events.h"

namespace norvane::cli {

ImageFacts CurrentImageFacts();
std::string VersionText();

}  // namespace norvane::cli
