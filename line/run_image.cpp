#include "line/run_image.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "burn/catalogue.h"
#include "burn/model_selection.h"
#include "burn/sha256.h"
#include "line/machine.h"

namespace norvane::line {

namespace {

// The built-in image is digested only when it is the one used: a burn's process
// handed its image by a station never reads it, and every burn would pay for it.
const RunImage& BuiltIn() {
    static const RunImage image = BuiltInImage();
    return image;
}

// The image SetRunImage chose, set before any burn and only read after.
std::optional<RunImage>& Chosen() {
    static std::optional<RunImage> image;
    return image;
}

std::string LastComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Edits (letters put in, left out or changed, letter case aside) from `a` to `b`.
std::size_t Distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

RunImage BuiltInImage() {
    RunImage run;
    run.name = EmbeddedImageName();
    run.image = EmbeddedImage();
    run.sha256 = Sha256Hex(run.image.data, run.image.size);
    run.modelIndex = ServedModelIndex(run.name.c_str());
    run.placeholder = run.sha256 == NORVANE_PLACEHOLDER_SHA256;
    return run;
}

std::string ModelNamesNear(const std::string& name) {
    // Every model within two edits; where none is, the three nearest.
    constexpr std::size_t kNearEdits = 2;
    constexpr std::size_t kFewest = 3;
    std::vector<std::pair<std::size_t, int>> byDistance;
    byDistance.reserve(kModelCount);
    for (int i = 0; i < kModelCount; ++i) {
        byDistance.emplace_back(Distance(name, ModelAt(i).name), i);
    }
    std::stable_sort(byDistance.begin(), byDistance.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string near;
    for (std::size_t i = 0; i < byDistance.size(); ++i) {
        if (byDistance[i].first > kNearEdits && i >= kFewest) {
            break;
        }
        near += (near.empty() ? "" : ", ") + std::string(ModelAt(byDistance[i].second).name);
    }
    return "did you mean " + near + "? (--models lists every model)";
}

namespace {

// The model a firmware file's name names; -1 with `error` set when it names none.
int ModelOfName(const std::string& name, std::string& error) {
    const int index = ModelIndexForImageName(name.c_str());
    if (index < 0) {
        const std::string prefix = ServedModelName(name.c_str());
        error = prefix.empty() ? name +
                                     ": a firmware file is named <MODEL>_<anything>, the text "
                                     "before its first underscore naming the PLC model"
                               : name + ": " + prefix + " is no model of this program; " +
                                     ModelNamesNear(prefix);
    }
    return index;
}

// Empty when a file of `size` bytes fits the model's flash; otherwise why not.
std::string SizeProblem(const std::string& name, std::uint64_t size, const PlcModel& model) {
    if (size == 0) {
        return name + " is empty";
    }
    if (size > model.sizeLimit) {
        return name + " has " + std::to_string(size) + " bytes, more than a " + model.name +
               " takes: " + model.sizeLimitMessage;
    }
    if (size < model.reservedTail) {
        return name + " has " + std::to_string(size) + " bytes, fewer than the " +
               std::to_string(model.reservedTail) + " that a " + model.name +
               " keeps to itself at the end of its flash";
    }
    return "";
}

}  // namespace

bool ImageFromBytes(std::string name, std::vector<std::uint8_t> bytes, RunImage& out,
                    std::string& error) {
    const int index = ModelOfName(name, error);
    if (index < 0) {
        return false;
    }
    error = SizeProblem(name, bytes.size(), ModelAt(index));
    if (!error.empty()) {
        return false;
    }
    out = RunImage{};
    out.name = std::move(name);
    out.bytes = std::move(bytes);
    out.image = FirmwareImage{out.bytes.data(), static_cast<std::uint32_t>(out.bytes.size())};
    out.sha256 = Sha256Hex(out.image.data, out.image.size);
    out.modelIndex = index;
    out.fromFile = true;
    out.placeholder = out.sha256 == NORVANE_PLACEHOLDER_SHA256;
    return true;
}

bool ReadImageFile(const std::string& path, const std::string& name, RunImage& out,
                   std::string& error) {
    const std::string shown = name.empty() ? LastComponent(path) : name;
    std::vector<std::uint8_t> bytes;
    std::uint64_t size = 0;
    // What the file is comes first: a file that is not there names no model.
    if (path != "-" && !machine::ReadWholeFile(path, 0, bytes, size, error)) {
        return false;
    }
    const int index = ModelOfName(shown, error);
    if (index < 0) {
        return false;
    }
    // The model's limit bounds what is read: a file too large is not read at all.
    if (!machine::ReadWholeFile(path, ModelAt(index).sizeLimit, bytes, size, error)) {
        return false;
    }
    error = SizeProblem(shown, size, ModelAt(index));
    return error.empty() && ImageFromBytes(shown, std::move(bytes), out, error);
}

std::string DigestProblem(const RunImage& image, const std::string& expected) {
    std::string wanted = expected;
    std::transform(wanted.begin(), wanted.end(), wanted.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (wanted.size() != 64 || !std::all_of(wanted.begin(), wanted.end(), [](unsigned char c) {
            return std::isxdigit(c) != 0;
        })) {
        return "--expect-sha256 needs 64 hexadecimal digits";
    }
    if (wanted != image.sha256) {
        return image.name + " has the SHA-256 " + image.sha256 + ", not the " + wanted +
               " expected: not the approved image";
    }
    return "";
}

void SetRunImage(RunImage image) {
    RunImage& chosen = Chosen().emplace(std::move(image));
    if (chosen.fromFile) {
        // The vector moved with it: point at its bytes where they are now.
        chosen.image =
            FirmwareImage{chosen.bytes.data(), static_cast<std::uint32_t>(chosen.bytes.size())};
    }
}

std::shared_ptr<const RunImage> Shared(RunImage image) {
    auto shared = std::make_shared<RunImage>(std::move(image));
    if (shared->fromFile) {
        // Its bytes are where the vector keeps them now.
        shared->image =
            FirmwareImage{shared->bytes.data(), static_cast<std::uint32_t>(shared->bytes.size())};
    }
    return shared;
}

const RunImage& TheRunImage() {
    return Chosen() ? *Chosen() : BuiltIn();
}

ImageFacts CurrentImageFacts() {
    return FactsOf(TheRunImage());
}

ImageFacts FactsOf(const RunImage& run) {
    return ImageFacts{NORVANE_VERSION, ModelAt(run.modelIndex).name, run.name, run.image.size,
                      run.sha256};
}

}  // namespace norvane::line
