// The station's page, its live events, its API and its metrics over HTTP, from
// a board the station's events keep. Read-only: nothing served changes the
// station. Bounded: a set number of clients at once (the next is told 503),
// small requests, a client that reads nothing let go. The server has threads of
// its own, and the station only ever hands the board copies, so no client
// delays a burn or the station's loop.
#pragma once

#include <memory>
#include <string>

#include "ui/web/station_board.h"

namespace norvane::web {

// Pages following the station's events at once; the next is answered 503
// until one leaves.
constexpr int kMaxFollowers = 64;
// Clients served at once: the followers, and room beside them for short
// requests (a scrape of the metrics, the API) that a wall of open pages must
// not lock out; the next is answered 503.
constexpr int kMaxClients = kMaxFollowers + 8;
// The largest request taken: its line and headers together.
constexpr std::size_t kMaxRequest = std::size_t{8} * 1024;

// Where to serve: "ADDR:PORT", "[IPv6]:PORT"; port 0: one the system chooses.
struct PageAddress {
    std::string host;
    int port = 0;
};
// False with `error` set when `text` names no address to serve on.
bool ParsePageAddress(const std::string& text, PageAddress& address, std::string& error);

class PageServer {
  public:
    explicit PageServer(StationBoard& board);
    ~PageServer();  // stops
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    // Binds and starts serving; false with `error` set when it cannot.
    bool Start(const PageAddress& address, std::string& error);
    // "http://127.0.0.1:8080/": where it serves, once started.
    const std::string& Url() const { return url_; }
    // Ends every follower and stops serving; idempotent.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string url_;
};

}  // namespace norvane::web
