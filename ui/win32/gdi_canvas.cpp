#include "ui/win32/gdi_canvas.h"

namespace norvane {
namespace {

constexpr int kLogoId = 12;
constexpr int kLogoWidth = 87;
constexpr int kLogoHeight = 28;

}  // namespace

void GdiCanvas::UseTransparentText() {
    SetBkMode(dc_, TRANSPARENT);
}

void GdiCanvas::FillArea(const PanelRect& rect, PanelColour colour) {
    const RECT area{rect.left, rect.top, rect.right, rect.bottom};
    if (colour == PanelColour::Background) {
        // Shared by the system: never deleted.
        FillRect(dc_, &area, GetSysColorBrush(COLOR_SCROLLBAR));
        return;
    }
    HBRUSH brush =
        CreateSolidBrush(colour == PanelColour::BarFill ? RGB(255, 0, 0) : RGB(255, 255, 255));
    FillRect(dc_, &area, brush);
    DeleteObject(brush);
}

void GdiCanvas::PutText(int x, int y, const char* text, std::size_t length) {
    TextOutA(dc_, x, y, text, static_cast<int>(length));
}

void GdiCanvas::PutLogo(int x, int y) {
    HANDLE image = LoadImageA(resources_, MAKEINTRESOURCEA(kLogoId), IMAGE_BITMAP, kLogoWidth,
                              kLogoHeight, LR_DEFAULTCOLOR);
    if (image == nullptr) {
        return;
    }
    HBITMAP logo = static_cast<HBITMAP>(image);
    HDC memory = CreateCompatibleDC(dc_);
    HGDIOBJ previous = SelectObject(memory, logo);
    BITMAP size{};
    GetObjectA(logo, sizeof size, &size);
    BitBlt(dc_, x, y, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(logo);
}

}  // namespace norvane
