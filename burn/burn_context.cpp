#include "burn/burn_context.h"

#include "burn/shared_values.h"

namespace norvane {

namespace {

PanelCounters& Panel() {
    static PanelCounters panel{flashStatus, progress, errCounter, totalErrCounter};
    return panel;
}

}  // namespace

const PanelCounters& BurnPanel() {
    return Panel();
}

void ListenToPhases(PhaseListener* listener) {
    Panel().listener = listener;
}

ExchangeContext SelectedPlc(Link& link) {
    return ExchangeContext{link, SelectedModel(), BurnPanel()};
}

}  // namespace norvane
