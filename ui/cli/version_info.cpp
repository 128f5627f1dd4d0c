#include "ui/cli/version_info.h"

#include "burn/catalogue.h"
#include "burn/untrusted_text.h"
#include "ui/cli/run_image.h"

#ifndef NORVANE_VERSION
#define NORVANE_VERSION "0.0.0"
#endif

namespace norvane::cli {

ImageFacts CurrentImageFacts() {
    const RunImage& run = TheRunImage();
    return ImageFacts{NORVANE_VERSION, ModelAt(run.modelIndex).name, run.name, run.image.size,
                      run.sha256};
}

std::string VersionText() {
    const ImageFacts facts = CurrentImageFacts();
    std::string text = "norvane-fwupdate " + facts.version + "\n";
    text += "model: " + facts.model + "\n";
    text += "image: " + ForPerson(facts.image) + "\n";
    text += "size: " + std::to_string(facts.size) + " bytes\n";
    text += "sha256: " + facts.sha256 + "\n";
    if (TheRunImage().placeholder) {
        text += "note: a generated PLACEHOLDER image, NOT firmware for a real PLC\n";
    }
    return text;
}

}  // namespace norvane::cli
