// The image a run burns: the one built into the program, or a firmware file read
// whole once, before any port is opened, and never read again (a file changed or
// removed during the burn changes nothing). Its file name's prefix names the
// model, with every rule of that model; its digest is taken as it is read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "burn/image.h"

namespace norvane::line {

struct RunImage {
    std::string name;                 // the file name (its last component)
    std::vector<std::uint8_t> bytes;  // a file's bytes; empty for the built-in image
    FirmwareImage image;              // what the burn reads
    std::string sha256;
    int modelIndex = -1;
    bool fromFile = false;
    // The generated stand-in of a development build (known by its digest, from
    // whatever file): never burnt without --placeholder.
    bool placeholder = false;
};

// The image built into this program.
RunImage BuiltInImage();

// A firmware file: read whole and checked against its model's rules (size limit,
// reserved tail). `name` names the file where its path does not (the bytes come
// from standard input); empty: the path's last component. False with `error`
// set to what is wrong with it, for a usage error.
bool ReadImageFile(const std::string& path, const std::string& name, RunImage& out,
                   std::string& error);

// Bytes handed over in memory (a several-PLC parent's verified image), checked
// as a file would be.
bool ImageFromBytes(std::string name, std::vector<std::uint8_t> bytes, RunImage& out,
                    std::string& error);

// Empty when the image's digest is `expected` (64 hexadecimal digits, either
// case); otherwise why not.
std::string DigestProblem(const RunImage& image, const std::string& expected);

// An image to be shared by burns that outlive the set it came from.
std::shared_ptr<const RunImage> Shared(RunImage image);

// The image of this run: set once, before any burn.
void SetRunImage(RunImage image);
const RunImage& TheRunImage();

// What the catalogue has to say about a name that names no model: the names
// nearest to it.
std::string ModelNamesNear(const std::string& name);

// What the start of every burn, a station and --version say of the image of the
// run, and of the program.
struct ImageFacts {
    std::string version;  // the program's
    std::string model;
    std::string image;
    std::uint32_t size;
    std::string sha256;
};
ImageFacts CurrentImageFacts();
ImageFacts FactsOf(const RunImage& image);

}  // namespace norvane::line
