#include "line/image_set.h"

#include <algorithm>

#include "burn/catalogue.h"
#include "burn/model_selection.h"
#include "line/machine.h"

namespace norvane::line {

bool ImageSet::Add(RunImage image, std::string& error) {
    if (const std::shared_ptr<const RunImage> held = Of(image.modelIndex)) {
        error = "two images of the " + std::string(ModelAt(image.modelIndex).name) + ": " +
                held->name + " and " + image.name + "; give one image per model";
        return false;
    }
    images_.push_back(Shared(std::move(image)));
    return true;
}

std::shared_ptr<const RunImage> ImageSet::Of(int model) const {
    const auto found = std::find_if(images_.begin(), images_.end(), [model](const auto& image) {
        return image->modelIndex == model;
    });
    return found == images_.end() ? nullptr : *found;
}

std::string ImageSet::Names() const {
    std::string names;
    for (const auto& image : images_) {
        names += (names.empty() ? "" : ", ") + image->name;
    }
    return names;
}

ImageFacts ImageSet::Facts() const {
    if (images_.size() == 1) {
        return FactsOf(*images_.front());
    }
    ImageFacts facts = CurrentImageFacts();
    facts.model.clear();
    facts.image.clear();
    facts.sha256.clear();
    facts.size = 0;
    return facts;
}

bool ReadImageDir(const std::string& dir, ImageSet& out, std::vector<std::string>& ignored,
                  std::string& error) {
    std::vector<std::string> names;
    if (!machine::FilesIn(dir, names, ignored, error)) {
        return false;
    }
    ImageSet set;
    for (const std::string& name : names) {
        if (ModelIndexForImageName(name.c_str()) < 0) {
            ignored.push_back(name + ": its name begins with no model of this program");
            continue;
        }
        RunImage image;
        std::string path = dir;
        path.append("/").append(name);
        if (!ReadImageFile(path, name, image, error) || !set.Add(std::move(image), error)) {
            error.insert(0, dir + ": ");
            return false;
        }
    }
    if (set.empty()) {
        error = dir +
                " holds no firmware file: each is named <MODEL>_<anything>, the text "
                "before its first underscore naming the PLC model";
        return false;
    }
    out = std::move(set);
    return true;
}

}  // namespace norvane::line
