#include "ui/cli/version_info.h"

#include "burn/image.h"
#include "burn/shared_values.h"
#include "ui/cli/sha256.h"

#ifndef NORVANE_VERSION
#define NORVANE_VERSION "0.0.0"
#endif

namespace norvane::cli {

ImageFacts CurrentImageFacts() {
    const FirmwareImage image = EmbeddedImage();
    return ImageFacts{NORVANE_VERSION, selectedPLC, EmbeddedImageName(), image.size,
                      Sha256Hex(image.data, image.size)};
}

std::string VersionText() {
    const ImageFacts facts = CurrentImageFacts();
    std::string text = "norvane-fwupdate " + facts.version + "\n";
    text += "model: " + facts.model + "\n";
    text += "image: " + facts.image + "\n";
    text += "size: " + std::to_string(facts.size) + " bytes\n";
    text += "sha256: " + facts.sha256 + "\n";
#ifdef NORVANE_IMAGE_IS_PLACEHOLDER
    text += "note: a generated PLACEHOLDER image, NOT firmware for a real PLC\n";
#endif
    return text;
}

}  // namespace norvane::cli
