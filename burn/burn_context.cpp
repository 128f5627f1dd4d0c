#include "burn/burn_context.h"

#include "burn/shared_values.h"

namespace norvane {

const PanelCounters& BurnPanel() {
    static const PanelCounters panel{flashStatus, progress, errCounter, totalErrCounter};
    return panel;
}

ExchangeContext SelectedPlc(Link& link) {
    return ExchangeContext{link, SelectedModel(), BurnPanel()};
}

}  // namespace norvane
