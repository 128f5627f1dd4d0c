// A station's page in a browser (--http), where this system serves one: the
// face that keeps what the page shows, and where it is served.
#pragma once

#include <memory>
#include <string>

#include "line/event_pump.h"
#include "line/shift_yield.h"
#include "ui/cli/options.h"

namespace norvane::cli {

class StationPage {
  public:
    virtual ~StationPage() = default;
    // The face of the station's events the page is drawn from.
    virtual line::EventView& View() = 0;
    // "http://127.0.0.1:8080/"
    virtual const std::string& Url() const = 0;
    // Each socket's yield over the shift, from the record database.
    virtual void ShowShift(const line::ShiftYields& shift) = 0;
    // The station has stopped: the page's followers are told, and it stops serving.
    virtual void Stop() = 0;
};

// Serves the page on options.http, its sockets labelled as options.labels say;
// null with `error` set when it cannot be served.
std::unique_ptr<StationPage> ServeStationPage(const Options& options, std::string& error);

}  // namespace norvane::cli
