#include "burn/burn_context.h"

#include "burn/shared_values.h"

namespace norvane {

namespace {

PanelCounters& Panel() {
    static PanelCounters panel{flashStatus, progress, errCounter, totalErrCounter, {}};
    return panel;
}

}  // namespace

const PanelCounters& BurnPanel() {
    return Panel();
}

void ListenToPanel(std::function<void(PanelChange change)> listener) {
    Panel().changed = std::move(listener);
}

ExchangeContext SelectedPlc(Link& link) {
    return ExchangeContext{link, SelectedModel(), BurnPanel()};
}

}  // namespace norvane
