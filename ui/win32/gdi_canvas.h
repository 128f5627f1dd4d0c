// The status panel's drawing seam on a GDI device context.
#pragma once

#include "port/win32/win32_headers.h"
#include "ui/panel/panel_canvas.h"

namespace norvane {

class GdiCanvas : public PanelCanvas {
  public:
    // Draws into `dc`; the logo comes from `resources`, by default the program itself.
    explicit GdiCanvas(HDC dc, HMODULE resources = GetModuleHandleA(nullptr))
        : dc_(dc), resources_(resources) {}

    void UseTransparentText() override;
    void FillArea(const PanelRect& rect, PanelColour colour) override;
    void PutText(int x, int y, const char* text, std::size_t length) override;
    // The logo, bitmap 12 of the program, scaled by the platform to 87 x 28.
    void PutLogo(int x, int y) override;

  private:
    HDC dc_;
    HMODULE resources_;
};

}  // namespace norvane
