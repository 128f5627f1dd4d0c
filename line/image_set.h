// The images a station holds: one per model, each read whole and checked once,
// as the image of a run is. A station burns each unit with the image of the
// model it finds there; re-reading them (SIGHUP) makes a new set, and a burn
// under way keeps the bytes it was started with.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "line/run_image.h"

namespace norvane::line {

class ImageSet {
  public:
    // Adds an image; false with `error` set when its model has one already.
    bool Add(RunImage image, std::string& error);

    // The image for the catalogue's model `model`; null when there is none here.
    std::shared_ptr<const RunImage> Of(int model) const;
    const std::vector<std::shared_ptr<const RunImage>>& all() const { return images_; }
    bool empty() const { return images_.empty(); }

    // "QB7_v1.09.bin, NT4_v2.bin": what a person is told the station holds.
    std::string Names() const;
    // What a station event says of the images: the model, file and digest of
    // the one image, or (several) nothing but their names.
    ImageFacts Facts() const;

  private:
    std::vector<std::shared_ptr<const RunImage>> images_;  // in the order they were given
};

// Every firmware file in `dir` whose name begins with a model of the catalogue,
// each checked as --image checks one; `ignored` names, with why, what else is
// there. False with `error` set when one of them does not check out, two are of
// one model, or there is none.
bool ReadImageDir(const std::string& dir, ImageSet& out, std::vector<std::string>& ignored,
                  std::string& error);

}  // namespace norvane::line
