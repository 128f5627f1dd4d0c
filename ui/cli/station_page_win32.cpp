#include "ui/cli/station_page.h"

namespace norvane::cli {

std::unique_ptr<StationPage> ServeStationPage(const Options&, std::string& error) {
    error = "--http: the Windows console program serves no station page; a Linux station does";
    return nullptr;
}

}  // namespace norvane::cli
