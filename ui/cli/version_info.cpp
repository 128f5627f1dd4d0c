#include "ui/cli/version_info.h"

#include "burn/untrusted_text.h"
#include "line/run_image.h"

namespace norvane::cli {

std::string VersionText() {
    const line::ImageFacts facts = line::CurrentImageFacts();
    std::string text = "norvane-fwupdate " + facts.version + "\n";
    text += "model: " + facts.model + "\n";
    text += "image: " + ForPerson(facts.image) + "\n";
    text += "size: " + std::to_string(facts.size) + " bytes\n";
    text += "sha256: " + facts.sha256 + "\n";
    if (line::TheRunImage().placeholder) {
        text += "note: a generated PLACEHOLDER image, NOT firmware for a real PLC\n";
    }
    return text;
}

}  // namespace norvane::cli
