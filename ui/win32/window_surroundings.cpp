#include "ui/win32/window_surroundings.h"

#include "port/win32/port_open.h"
#include "ui/win32/resource_image.h"

namespace norvane {

void WindowSurroundings::ShowMessage(const std::string& text, const char* caption,
                                     MessageIcon icon) {
    const UINT style = MB_OK | (icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION);
    MessageBoxA(params_.hMainWindow, text.c_str(), caption, style);
}

// The timer belongs to the window thread, which stops it before this returns.
void WindowSurroundings::StopElapsedTimer() {
    SendMessageA(params_.hMainWindow, kStopElapsedTimerMessage, 0, 0);
}

void WindowSurroundings::EnableStartButton(bool enabled) {
    EnableWindow(params_.hStartButton, enabled ? TRUE : FALSE);
}

void WindowSurroundings::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

LinkPtr WindowSurroundings::OpenComPort(const std::string& name) {
    return OpenComPortLink(name.c_str());
}

LinkPtr WindowSurroundings::OpenMyDevPipe(const char* suffix) {
    return OpenUsbPipeLink(suffix);
}

bool WindowSurroundings::LoadImage(FirmwareImage& image) {
    return LoadImageResource(image, loadedImage_);
}

void WindowSurroundings::ReleaseImage() {
    if (loadedImage_ != nullptr) {
        FreeResource(loadedImage_);
        loadedImage_ = nullptr;
    }
}

}  // namespace norvane
