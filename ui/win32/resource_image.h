// The firmware image as resource "BIN" 8 of the program.
#pragma once

#include "burn/image.h"
#include "port/win32/win32_headers.h"

namespace norvane {

// Loads and locks the image resource; false when the program carries none.
// `loaded` receives the resource handle to free afterwards.
bool LoadImageResource(FirmwareImage& image, HGLOBAL& loaded);

}  // namespace norvane
