#include "ui/win32/resource_image.h"

namespace norvane {

bool LoadImageResource(FirmwareImage& image, HGLOBAL& loaded) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(8), "BIN");
    if (resource == nullptr) {
        return false;
    }
    loaded = LoadResource(module, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return false;
    }
    image.data = static_cast<const std::uint8_t*>(bytes);
    image.size = SizeofResource(module, resource);
    return true;
}

// A resource stays mapped for the life of the process; freeing it does nothing,
// so the image needs no release.
FirmwareImage EmbeddedImage() {
    FirmwareImage image;
    HGLOBAL loaded = nullptr;
    if (!LoadImageResource(image, loaded)) {
        return FirmwareImage{};
    }
    return image;
}

}  // namespace norvane
