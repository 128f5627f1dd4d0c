// What the burn worker needs of the program around it. The window, the
// command-line front end and the tests each provide one.
#pragma once

#include <cstdint>
#include <string>

#include "burn/image.h"
#include "link/link.h"

namespace norvane {

enum class MessageIcon : std::uint8_t { Error, Information };

class WorkerSurroundings {
  public:
    virtual ~WorkerSurroundings() = default;

    // Shows a message owned by the main window and returns when the user pressed OK.
    virtual void ShowMessage(const std::string& text, const char* caption, MessageIcon icon) = 0;

    virtual void StopElapsedTimer() = 0;
    virtual void EnableStartButton(bool enabled) = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // Both return a null link when the port cannot be opened.
    virtual LinkPtr OpenComPort(const std::string& name) = 0;
    virtual LinkPtr OpenMyDevPipe(const char* suffix) = 0;

    // Loads the image for one burn; false when it cannot be had.
    virtual bool LoadImage(FirmwareImage& image) = 0;
    virtual void ReleaseImage() = 0;

    // Asked right before the first request that changes the PLC (the request
    // that hands it over to its bootloader, or the bootloader's first erase):
    // false ends the burn there, with no message, having changed nothing. The
    // window always goes on.
    virtual bool MayChangePlc() { return true; }

    // Told when the PLC runs its bootloader from now on: this burn's hand-over
    // was acknowledged, or (`found`) the PLC was found waiting there. Until a
    // burn succeeds, it will not run its application again.
    virtual void HandedOver(bool /*found*/) {}
};

}  // namespace norvane
