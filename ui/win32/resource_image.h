// The firmware image as resource "BIN" 8 of the program, for the window and for
// the console program alike.
#pragma once

#include "burn/image.h"
#include "port/win32/win32_headers.h"

namespace norvane {

// Loads and locks the image resource; false when the program carries none.
// `loaded` receives the resource handle to free afterwards.
bool LoadImageResource(FirmwareImage& image, HGLOBAL& loaded);

// EmbeddedImage() (burn/image.h) of a Windows program is this resource: the
// console program's front end reads the image through it.

}  // namespace norvane
