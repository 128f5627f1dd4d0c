// What the burn sequence hands every exchange: the open link, the selected model
// and the process-wide values the status panel reads. The exchanges themselves
// never reach for the selection or the panel.
#pragma once

#include "link/exchange.h"

namespace norvane {

const PanelCounters& BurnPanel();

// Tells `listener` (or nobody, with an empty one) of every change an exchange
// makes to the panel, on the burn's thread. Set it before a burn starts, not
// while one runs.
void ListenToPanel(std::function<void(PanelChange change)> listener);

// The context for an exchange with the selected model's PLC over `link`.
ExchangeContext SelectedPlc(Link& link);

}  // namespace norvane
