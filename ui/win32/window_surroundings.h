// What the burn worker needs of the window: message boxes owned by the main
// window, its elapsed-time timer, the Start Burn button, the ports and the
// image resource.
#pragma once

#include "port/win32/win32_headers.h"
// The platform names a macro after one of the worker's needs.
#undef LoadImage

#include "burn/surroundings.h"
#include "ui/win32/main_window.h"

namespace norvane {

class WindowSurroundings : public WorkerSurroundings {
  public:
    explicit WindowSurroundings(const ParamStruct& params) : params_(params) {}

    void ShowMessage(const std::string& text, const char* caption, MessageIcon icon) override;
    void StopElapsedTimer() override;
    void EnableStartButton(bool enabled) override;
    void Sleep(std::uint32_t milliseconds) override;
    LinkPtr OpenComPort(const std::string& name) override;
    LinkPtr OpenMyDevPipe(const char* suffix) override;
    bool LoadImage(FirmwareImage& image) override;
    void ReleaseImage() override;

  private:
    ParamStruct params_;
    HGLOBAL loadedImage_ = nullptr;
};

}  // namespace norvane
