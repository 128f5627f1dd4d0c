#include "burn/image.h"

#include <cstring>

namespace norvane {

FirmwareImage hGLOBAL;
const std::uint8_t* fin = nullptr;
std::atomic<std::uint32_t> fileLength{0};

void SetLoadedImage(const FirmwareImage& image) {
    hGLOBAL = image;
    fin = image.data;
    fileLength.store(image.size, std::memory_order_relaxed);
}

std::uint32_t FileRead(std::uint8_t* dst, std::uint32_t count) {
    if (fin == nullptr || hGLOBAL.data == nullptr) {
        return 0;
    }
    const std::uint32_t consumed = static_cast<std::uint32_t>(fin - hGLOBAL.data);
    const std::uint32_t left = hGLOBAL.size - consumed;
    if (count > left) {
        count = left;
    }
    if (count != 0) {
        std::memcpy(dst, fin, count);
        fin += count;
    }
    return count;
}

void CloseFile() {
    hGLOBAL = FirmwareImage{};
    fin = nullptr;
}

std::string ServedModelName(const char* imageFileName) {
    if (imageFileName == nullptr) {
        return std::string();
    }
    const char* underscore = std::strchr(imageFileName, '_');
    if (underscore == nullptr) {
        return std::string();
    }
    return std::string(imageFileName, static_cast<std::size_t>(underscore - imageFileName));
}

}  // namespace norvane
