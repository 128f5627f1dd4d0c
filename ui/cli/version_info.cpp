#include "ui/cli/version_info.h"

#include "burn/image.h"
#include "burn/shared_values.h"
#include "ui/cli/sha256.h"

#ifndef NORVANE_VERSION
#define NORVANE_VERSION "0.0.0"
#endif

namespace norvane::cli {

std::string VersionText() {
    const FirmwareImage image = EmbeddedImage();
    std::string text = std::string("norvane-fwupdate ") + NORVANE_VERSION + "\n";
    text += std::string("model: ") + selectedPLC + "\n";
    text += std::string("image: ") + EmbeddedImageName() + "\n";
    text += "size: " + std::to_string(image.size) + " bytes\n";
    text += "sha256: " + Sha256Hex(image.data, image.size) + "\n";
#ifdef NORVANE_IMAGE_IS_PLACEHOLDER
    text += "note: a generated PLACEHOLDER image, NOT firmware for a real PLC\n";
#endif
    return text;
}

}  // namespace norvane::cli
