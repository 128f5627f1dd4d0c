// The firmware image of a burn and the cursor the block transfer reads it through.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace norvane {

// Read-only image bytes, valid until the loader releases them.
struct FirmwareImage {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
};

extern FirmwareImage hGLOBAL;                  // the loaded image; empty when released
extern const std::uint8_t* fin;                // read cursor into hGLOBAL
extern std::atomic<std::uint32_t> fileLength;  // image size in bytes

// Makes `image` the loaded image with the cursor at its first byte.
void SetLoadedImage(const FirmwareImage& image);

// Copies `count` bytes from the cursor and advances it. Never reads past the end
// of the loaded image: the result is the number of bytes actually copied.
std::uint32_t FileRead(std::uint8_t* dst, std::uint32_t count);

// Forgets the loaded image (the loader releases its storage).
void CloseFile();

// The model a build serves: the text of the image's file name before its first
// underscore (the whole name when it has none is not a model: empty).
std::string ServedModelName(const char* imageFileName);

// The image built into this program and its built-in file name.
FirmwareImage EmbeddedImage();
const char* EmbeddedImageName();

}  // namespace norvane
