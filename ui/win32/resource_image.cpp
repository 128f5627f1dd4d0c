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

}  // namespace norvane
