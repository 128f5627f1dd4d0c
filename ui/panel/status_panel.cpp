#include "ui/panel/status_panel.h"

#include <cstdio>
#include <cstring>

#include "burn/shared_values.h"

namespace norvane {
namespace {

constexpr PanelRect kElapsedArea{160, 70, 335, 90};
constexpr PanelRect kBarArea{10, 105, 520, 125};
constexpr PanelRect kProgressTextArea{10, 140, 130, 160};
constexpr PanelRect kStatusArea{160, 140, 300, 160};
constexpr PanelRect kCounterArea{320, 140, 540, 160};

// The numbers are drawn over the blanks of these labels.
constexpr char kElapsedLabel[] = "Elapsed Time:              sec";
constexpr char kProgressLabel[] = "Progress:            %";
constexpr char kStatusLabel[] = "Status: ";
constexpr char kDateText[] = "Date: 2022/06/13";

void Put(PanelCanvas& canvas, int x, int y, const char* text) {
    canvas.PutText(x, y, text, std::strlen(text));
}

void Put(PanelCanvas& canvas, int x, int y, const std::string& text) {
    canvas.PutText(x, y, text.data(), text.size());
}

std::int32_t Load(const std::atomic<std::int32_t>& value) {
    return value.load(std::memory_order_relaxed);
}

}  // namespace

int BarRightEdge(std::int32_t percent) {
    if (percent < 0) {
        percent = 0;
    } else if (percent > 100) {
        percent = 100;
    }
    return kBarArea.left + percent * (kBarArea.right - kBarArea.left) / 100;
}

std::string PanelNumber(std::int32_t value) {
    char text[16];  // "-2147483648" and the NUL fit with room to spare
    const int length = std::snprintf(text, sizeof text, "%3d", static_cast<int>(value));
    return std::string(text, static_cast<std::size_t>(length));
}

void DisplayElapsedTime(PanelCanvas& canvas) {
    canvas.UseTransparentText();
    canvas.FillArea(kElapsedArea, PanelColour::Background);
    Put(canvas, 160, 70, kElapsedLabel);
    Put(canvas, 270, 70, PanelNumber(Load(elapsedTime)));
}

void DisplayProgressBar(PanelCanvas& canvas) {
    canvas.UseTransparentText();
    const std::int32_t percent = Load(progress);
    canvas.FillArea(kBarArea, PanelColour::BarBackground);
    canvas.FillArea({kBarArea.left, kBarArea.top, BarRightEdge(percent), kBarArea.bottom},
                    PanelColour::BarFill);
    canvas.FillArea(kProgressTextArea, PanelColour::Background);
    Put(canvas, 10, 140, kProgressLabel);
    Put(canvas, 85, 140, PanelNumber(percent));
}

void DisplayStatus(PanelCanvas& canvas) {
    canvas.UseTransparentText();
    canvas.FillArea(kStatusArea, PanelColour::Background);
    Put(canvas, 160, 140, kStatusLabel);
    const char* word = PhaseWord(Load(flashStatus));
    if (*word != '\0') {
        Put(canvas, 209, 140, word);
    }
}

void DisplayErrCounter(PanelCanvas& canvas) {
    canvas.UseTransparentText();
    canvas.FillArea(kCounterArea, PanelColour::Background);
    char text[64];  // the label and two full 32-bit numbers
    const int length =
        std::snprintf(text, sizeof text, "# of Error/Total Error: %d/%d",
                      static_cast<int>(Load(errCounter)), static_cast<int>(Load(totalErrCounter)));
    canvas.PutText(320, 140, text, static_cast<std::size_t>(length));
}

void DisplayDate(PanelCanvas& canvas) {
    canvas.UseTransparentText();
    Put(canvas, 300, 25, kDateText);
}

void DisplayLogo(PanelCanvas& canvas) {
    canvas.PutLogo(435, 15);
}

void PaintStatusPanel(PanelCanvas& canvas) {
    DisplayElapsedTime(canvas);
    DisplayProgressBar(canvas);
    DisplayStatus(canvas);
    DisplayErrCounter(canvas);
    DisplayDate(canvas);
}

void RefreshStatusPanel(PanelCanvas& canvas) {
    PaintStatusPanel(canvas);
    DisplayLogo(canvas);
}

}  // namespace norvane
