// The status panel below the controls: elapsed time, progress bar and
// percentage, phase, retry counters, date and logo. Every element is redrawn
// completely from the shared burn values on every call; nothing is kept.
#pragma once

#include <cstdint>
#include <string>

#include "ui/panel/panel_canvas.h"

namespace norvane {

void DisplayElapsedTime(PanelCanvas& canvas);
void DisplayProgressBar(PanelCanvas& canvas);
void DisplayStatus(PanelCanvas& canvas);
void DisplayErrCounter(PanelCanvas& canvas);
void DisplayDate(PanelCanvas& canvas);
void DisplayLogo(PanelCanvas& canvas);

// A paint request: every element but the logo, in the window's drawing order.
void PaintStatusPanel(PanelCanvas& canvas);
// The repaint tick: every element, the logo last.
void RefreshStatusPanel(PanelCanvas& canvas);

// Exclusive right edge of the red part of the bar for a percentage; 10 for
// 0 % and 520 for 100 %. Values outside 0..100 are held to the bar's ends.
int BarRightEdge(std::int32_t percent);

// A number right-aligned in at least three places, never cut.
std::string PanelNumber(std::int32_t value);

}  // namespace norvane
