#include "ui/cli/station_page.h"
#include "ui/web/page_server.h"
#include "ui/web/station_board.h"

namespace norvane::cli {

namespace {

class ServedPage : public StationPage {
  public:
    explicit ServedPage(const Options& options)
        : board_(options.labels), view_(board_), server_(board_) {}

    bool Start(const web::PageAddress& address, std::string& error) {
        return server_.Start(address, error);
    }
    line::EventView& View() override { return view_; }
    const std::string& Url() const override { return server_.Url(); }
    void ShowShift(const line::ShiftYields& shift) override { board_.SetShift(shift); }
    void Stop() override { server_.Stop(); }

  private:
    web::StationBoard board_;
    web::BoardView view_;
    web::PageServer server_;
};

}  // namespace

std::unique_ptr<StationPage> ServeStationPage(const Options& options, std::string& error) {
    web::PageAddress address;
    if (!web::ParsePageAddress(options.http, address, error)) {
        return nullptr;
    }
    auto page = std::make_unique<ServedPage>(options);
    if (!page->Start(address, error)) {
        return nullptr;
    }
    return page;
}

}  // namespace norvane::cli
