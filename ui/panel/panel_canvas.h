// The drawing seam of the status panel: the few things the panel asks of a
// drawing surface. The program draws through GDI; tests draw into a recorder.
#pragma once

#include <cstddef>

namespace norvane {

// A rectangle as the platform fills it: right and bottom are exclusive.
struct PanelRect {
    int left;
    int top;
    int right;
    int bottom;
};

enum class PanelColour {
    Background,     // the window background's system colour, which erases a text area
    BarBackground,  // white
    BarFill,        // red
};

class PanelCanvas {
  public:
    virtual ~PanelCanvas() = default;

    // Texts are drawn over what is there, without a box of their own colour.
    virtual void UseTransparentText() = 0;
    virtual void FillArea(const PanelRect& rect, PanelColour colour) = 0;
    // Draws `length` 8-bit characters with their top-left corner at (x, y).
    virtual void PutText(int x, int y, const char* text, std::size_t length) = 0;
    // Draws the logo at its fixed drawn size with its top-left corner at (x, y);
    // draws nothing when the logo cannot be had.
    virtual void PutLogo(int x, int y) = 0;
};

}  // namespace norvane
