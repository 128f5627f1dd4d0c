#include "ui/web/page_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/web/page_files.h"

namespace norvane::web {

namespace {

// A follower is sent a comment this often when nothing happens, so that a
// client that has gone is noticed and a proxy keeps the stream open.
constexpr std::chrono::seconds kKeepAlive{5};
// How long a follower's thread waits for news before it looks whether the
// server stops.
constexpr std::chrono::milliseconds kFollowWait{500};
// A follower is sent what came at most this often: a page redraws no faster,
// and 64 of them woken for each event of 16 burns would cost the station's
// machine more than the burns.
constexpr std::chrono::milliseconds kFollowPace{100};

// Set on the threads that answer the clients beyond the limit.
thread_local bool tBeyondLimit = false;

// Threads kept for telling the clients beyond the limit 503: a few, so that
// one that says nothing holds up no other.
constexpr int kBeyondThreads = 4;

// Each client on a thread of its own (a follower of the events holds its
// thread for as long as it follows), at most kMaxClients; a client beyond them
// goes to the few threads kept for telling them 503.
class ClientThreads : public httplib::TaskQueue {
  public:
    ClientThreads() = default;
    ~ClientThreads() override { Stop(); }

    void enqueue(std::function<void()> fn) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool beyond = served_ >= kMaxClients;
        Pool& pool = beyond ? beyondPool_ : servedPool_;
        served_ += beyond ? 0 : 1;
        pool.jobs.push_back(std::move(fn));
        // Each waiting client gets a thread: an idle one, or a new one when the
        // idle ones are spoken for (a follower keeps its thread).
        if (pool.jobs.size() > static_cast<std::size_t>(pool.idle) &&
            (!beyond || pool.threads < kBeyondThreads)) {
            ++pool.threads;
            threads_.emplace_back([this, &pool, beyond] { Work(pool, beyond); });
        }
        came_.notify_all();
    }

    void shutdown() override { Stop(); }

  private:
    struct Pool {
        std::deque<std::function<void()>> jobs;
        int threads = 0;
        int idle = 0;
    };

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (down_) {
                return;
            }
            down_ = true;
            came_.notify_all();
        }
        for (std::thread& t : threads_) {
            t.join();
        }
    }

    // Runs the jobs of `pool` until the server stops.
    void Work(Pool& pool, bool beyond) {
        tBeyondLimit = beyond;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ++pool.idle;
            came_.wait(lock, [&] { return down_ || !pool.jobs.empty(); });
            --pool.idle;
            if (pool.jobs.empty()) {
                return;
            }
            std::function<void()> job = std::move(pool.jobs.front());
            pool.jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
            served_ -= beyond ? 0 : 1;
        }
    }

    std::mutex mutex_;
    std::condition_variable came_;
    Pool servedPool_;
    Pool beyondPool_;
    std::vector<std::thread> threads_;
    int served_ = 0;
    bool down_ = false;
};

std::size_t RequestSize(const httplib::Request& req) {
    std::size_t size = req.method.size() + req.target.size() + req.version.size() + 4;
    for (const auto& [name, value] : req.headers) {
        size += name.size() + value.size() + 4;
    }
    return size;
}

void Text(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}

}  // namespace

bool ParsePageAddress(const std::string& text, PageAddress& address, std::string& error) {
    error = "--http needs ADDR:PORT (127.0.0.1:8080, [::1]:8080; port 0: any free one), not '" +
            text + "'";
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size() ||
        text.size() - colon - 1 > 5) {
        return false;
    }
    std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(port) > 65535) {
        return false;
    }
    if (host.front() == '[') {
        if (host.back() != ']' || host.size() < 3) {
            return false;
        }
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false;  // an IPv6 address goes in brackets
    }
    if (!std::all_of(host.begin(), host.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                   c == '.' || c == '-' || c == ':' || c == '%' || c == '_';
        })) {
        return false;
    }
    address = PageAddress{host, std::stoi(port)};
    error.clear();
    return true;
}

struct PageServer::Impl {
    explicit Impl(StationBoard& b) : board(b) {}

    void Routes();

    StationBoard& board;
    httplib::Server server;
    std::thread listening;
    int listener = -1;  // the listening socket, once bound
};

void PageServer::Impl::Routes() {
    server.new_task_queue = [] { return new ClientThreads; };
    server.set_socket_options([this](socket_t sock) {
        httplib::default_socket_options(sock);
        listener = sock;
    });
    server.set_payload_max_length(kMaxRequest);
    server.set_read_timeout(std::chrono::seconds(5));
    // A client that reads nothing fills its send buffer, and is let go this
    // long after.
    server.set_write_timeout(std::chrono::seconds(5));
    server.set_keep_alive_timeout(5);
    server.set_default_headers({
        {"Cache-Control", "no-store"},
        {"X-Content-Type-Options", "nosniff"},
        {"Content-Security-Policy",
         "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'"},
        {"Referrer-Policy", "no-referrer"},
    });
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (tBeyondLimit) {
            res.set_header("Connection", "close");
            res.set_header("Retry-After", "5");
            Text(res, 503,
                 "the station serves " + std::to_string(kMaxClients) +
                     " clients at once: try again in a moment");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.method != "GET" && req.method != "HEAD") {
            res.set_header("Allow", "GET, HEAD");
            Text(res, 405, "the station's page is read-only: GET or HEAD only");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (RequestSize(req) > kMaxRequest || !req.body.empty()) {
            res.set_header("Connection", "close");
            Text(res, 431, "a request to the station is at most 8 KiB, with no body");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.status == 404) {
            Text(res, 404, "no such page here: / is the station's page");
        }
    });
    for (const PageFile& file : kPageFiles) {
        server.Get(file.path, [&file](const httplib::Request&, httplib::Response& res) {
            res.set_content(file.text, file.type);
        });
    }
    server.Get("/api/sockets", [this](const httplib::Request&, httplib::Response& res) {
        std::uint64_t told = 0;
        res.set_content(board.SocketsJson(&told), "application/json");
        res.set_header("X-Station-Told", std::to_string(told));
    });
    server.Get("/api/station", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(board.StationJson(), "application/json");
    });
    server.Get("/api/burns", [this](const httplib::Request& req, httplib::Response& res) {
        std::optional<std::int64_t> since;
        if (req.has_param("since")) {
            since = line::ParseRfc3339(req.get_param_value("since"));
            if (!since) {
                Text(res, 400, "since= takes an RFC 3339 time, as 2026-12-10T08:00:00Z");
                return;
            }
        }
        res.set_content(board.BurnsJson(since), "application/json");
    });
    server.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(board.MetricsText(), "text/plain; version=0.0.4; charset=utf-8");
    });
    server.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
        std::shared_ptr<Follower> follower = board.Follow(kMaxFollowers);
        if (!follower) {
            res.set_header("Connection", "close");
            res.set_header("Retry-After", "5");
            Text(res, 503,
                 std::to_string(kMaxFollowers) +
                     " pages follow the station already: try again in a moment");
            return;
        }
        auto quiet = std::make_shared<std::chrono::steady_clock::time_point>(
            std::chrono::steady_clock::now());
        auto first = std::make_shared<bool>(true);
        res.set_header("X-Accel-Buffering", "no");
        res.set_chunked_content_provider(
            "text/event-stream", [follower, quiet, first](std::size_t, httplib::DataSink& sink) {
                if (*first) {
                    // A page that loses the station tries again after a second.
                    *first = false;
                    const std::string hello = "retry: 1000\n\n";
                    return sink.write(hello.data(), hello.size());
                }
                const std::optional<std::string> news = follower->Next(kFollowWait);
                const auto now = std::chrono::steady_clock::now();
                if (!news) {
                    sink.done();
                    return true;
                }
                if (!news->empty()) {
                    *quiet = now;
                    const bool sent = sink.write(news->data(), news->size());
                    std::this_thread::sleep_for(kFollowPace);
                    return sent;
                }
                if (now - *quiet >= kKeepAlive) {
                    *quiet = now;
                    const std::string comment = ": still here\n\n";
                    return sink.write(comment.data(), comment.size());
                }
                return true;
            });
    });
}

PageServer::PageServer(StationBoard& board) : impl_(std::make_unique<Impl>(board)) {
    impl_->Routes();
}

PageServer::~PageServer() {
    Stop();
}

bool PageServer::Start(const PageAddress& address, std::string& error) {
    int port = address.port;
    if (port == 0) {
        port = impl_->server.bind_to_any_port(address.host);
    } else if (!impl_->server.bind_to_port(address.host, port)) {
        port = -1;
    }
    // The library listens with a backlog of 5: 64 pages that come back at once
    // after a restart would find it full and wait seconds for their retries.
    if (port >= 0 && impl_->listener >= 0) {
        ::listen(impl_->listener, SOMAXCONN);
    }
    if (port < 0) {
        error = "the station's page cannot be served on " + address.host + ":" +
                std::to_string(address.port) +
                " (the address is not this machine's, or the port is taken)";
        return false;
    }
    const bool v6 = address.host.find(':') != std::string::npos;
    url_ = "http://" + (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(port) +
           "/";
    impl_->listening = std::thread([this] { impl_->server.listen_after_bind(); });
    return true;
}

void PageServer::Stop() {
    impl_->board.Close();
    if (impl_->listening.joinable()) {
        impl_->server.stop();
        impl_->listening.join();
    }
}

}  // namespace norvane::web
