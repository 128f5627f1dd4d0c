// A station's page, API and metrics, served by a station burning simulated PLCs:
// read over HTTP as a script or Prometheus reads them, held to their limits, and
// followed in a real headless browser as an operator follows it.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <regex>

#include "headless_browser.h"
#include "station_line.h"

namespace norvane::test {
namespace {

// A raw connection that asks for `request` and reads what comes back first.
struct RawClient {
    explicit RawClient(int port) : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    ~RawClient() { close(fd); }
    std::string Ask(const std::string& request) {
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) {
            return "";
        }
        char head[256] = {};
        timeval wait{10, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        const ssize_t got = recv(fd, head, sizeof head - 1, 0);
        return got > 0 ? std::string(head, static_cast<std::size_t>(got)) : "";
    }
    int fd;
    bool connected = false;
};

// What `path` answers; empty when nothing answered.
std::string Body(httplib::Client& client, const std::string& path) {
    const auto got = client.Get(path);
    return got ? got->body : "";
}

int PortOf(const std::string& address) {
    return std::stoi(address.substr(address.rfind(':') + 1));
}

// The metrics as Prometheus's own checker reads them: nothing to say.
std::string PromtoolSays(const std::string& metrics) {
    const std::string file = ::testing::TempDir() + "metrics-" + std::to_string(getpid());
    std::ofstream(file) << metrics;
    const std::string said = file + ".said";
    const int status =
        std::system(("promtool check metrics < '" + file + "' > '" + said + "' 2>&1").c_str());
    std::ifstream in(said);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    return status == 0 ? text : "exit " + std::to_string(status) + ": " + text;
}

TEST(StationPage, ServesTheStationReadOnlyAndWithinItsLimits) {
    FakeUsbSockets sockets;
    Line line(sockets, {"--http", "127.0.0.1:0", "--label", "usb-path:1-2=A1"});
    const std::string address = line.Page();
    ASSERT_FALSE(address.empty()) << line.Output();
    httplib::Client client("127.0.0.1", PortOf(address));

    plcsim::PlcConfig slow;
    slow.flashWriteTimeMs = 20;
    ServedPv plc(slow);
    line.Plug("1-2", plc, "P<b>1</b>");
    ASSERT_TRUE(line.AwaitPhase("1-2", "Programming")) << line.Output();
    const auto midBurn = client.Get("/metrics");
    ASSERT_TRUE(midBurn && midBurn->status == 200);
    EXPECT_NE(midBurn->body.find("norvane_fwupdate_sockets{state=\"working\"} 1"),
              std::string::npos)
        << midBurn->body;
    EXPECT_EQ(PromtoolSays(midBurn->body), "");
    ASSERT_TRUE(line.Await("1-2", "take_out", "done")) << line.Output();

    const auto metrics = client.Get("/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_NE(
        metrics->body.find("norvane_fwupdate_burns_total{model=\"PV\",outcome=\"success\"} 1"),
        std::string::npos)
        << metrics->body;
    EXPECT_EQ(PromtoolSays(metrics->body), "");
    const auto sockets_now = client.Get("/api/sockets");
    ASSERT_TRUE(sockets_now && sockets_now->status == 200);
    const auto events = nlohmann::json::parse(sockets_now->body);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back()["event"], "socket");
    EXPECT_EQ(events.back()["state"], "take_out");
    EXPECT_EQ(events.back()["usb_serial"], "P<b>1</b>");
    const auto burns = client.Get("/api/burns?since=2000-01-01T00:00:00Z");
    ASSERT_TRUE(burns);
    const auto burnt = nlohmann::json::parse(burns->body);
    ASSERT_EQ(burnt.size(), 1u);
    EXPECT_EQ(burnt[0]["end"]["outcome"], "success");
    EXPECT_EQ(burnt[0]["model"], "PV");
    EXPECT_EQ(nlohmann::json::parse(Body(client, "/api/burns?since=2999-01-01T00:00:00Z")).size(),
              0u);
    EXPECT_NE(Body(client, "/api/station").find(R"("usb-path:1-2":"A1")"), std::string::npos);

    // Read-only, and nothing but what it serves.
    const struct {
        std::string request;
        std::string answer;
    } refused[] = {
        {"POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 405"},
        {"DELETE /api/sockets HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 405"},
        {"GET /etc/passwd HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 404"},
        {"GET /api/burns?since=yesterday HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 400"},
        {"GET / HTTP/1.1\r\nHost: a\r\nX-Big: " + std::string(9000, 'x') + "\r\n\r\n",
         "HTTP/1.1 4"},
    };
    for (const auto& r : refused) {
        RawClient raw(PortOf(address));
        EXPECT_EQ(raw.Ask(r.request).substr(0, r.answer.size()), r.answer)
            << r.request.substr(0, 40);
    }

    // As many followers as it serves, come at once; the next is told to come back.
    std::vector<std::unique_ptr<RawClient>> followers;
    for (int i = 0; i < 64; ++i) {
        followers.push_back(std::make_unique<RawClient>(PortOf(address)));
    }
    for (const auto& follower : followers) {
        EXPECT_EQ(follower->Ask("GET /events HTTP/1.1\r\nHost: a\r\n\r\n").substr(0, 12),
                  "HTTP/1.1 200");
    }
    {
        RawClient beyond(PortOf(address));
        EXPECT_EQ(beyond.Ask("GET /events HTTP/1.1\r\nHost: a\r\n\r\n").substr(0, 12),
                  "HTTP/1.1 503");
    }
    // A scrape still gets through beside them, until the room for such is full.
    const auto scrape = client.Get("/metrics");
    EXPECT_TRUE(scrape && scrape->status == 200);
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 8; ++i) {
        idle.push_back(std::make_unique<RawClient>(PortOf(address)));
    }
    RawClient crowded(PortOf(address));
    EXPECT_EQ(crowded.Ask("GET / HTTP/1.1\r\nHost: a\r\n\r\n").substr(0, 12), "HTTP/1.1 503");
    idle.clear();
    followers.clear();
    line.Unplug("1-2");
    EXPECT_EQ(line.Stop(), 0);
}

// Followed in a browser: the tile of a unit goes from empty to working, to the
// replug it asks for, to done, without a reload; a failed unit's tile says why;
// a station restarted under the page is followed again.
TEST(StationPage, AnOperatorFollowsItInABrowser) {
    HeadlessBrowser browser;
    ASSERT_TRUE(browser.Running());
    // One port for both stations, so that the page finds the second.
    int port = 0;
    {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof any;
        bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
        getsockname(fd, reinterpret_cast<sockaddr*>(&any), &size);
        port = ntohs(any.sin_port);
        close(fd);
    }
    std::vector<std::string> serve{"--http", "127.0.0.1:" + std::to_string(port)};
    for (const char* socket : {"1-2", "1-3", "1-4", "1-5"}) {
        serve.insert(serve.end(), {"--port", std::string("usb-path:") + socket, "--label",
                                   std::string("usb-path:") + socket + "=A" + socket[2]});
    }
    FakeUsbSockets sockets;
    auto line = std::make_unique<Line>(sockets, serve);
    ASSERT_TRUE(browser.Open("http://127.0.0.1:" + std::to_string(port) + "/", 1280, 800));
    ASSERT_TRUE(
        browser.WaitUntil("document.getElementById('connection').dataset.connected === 'yes'", 20));
    // Every state a tile shows, as it shows it.
    browser.Eval(R"js(window.seen = {};
        new MutationObserver(() => document.querySelectorAll('.tile').forEach(t => {
            const s = (window.seen[t.dataset.socket] = window.seen[t.dataset.socket] || []);
            if (s[s.length - 1] !== t.dataset.state) s.push(t.dataset.state);
        })).observe(document.getElementById('tiles'),
                    {subtree: true, childList: true, attributes: true}); true)js");

    ServedPv good;
    line->Plug("1-2", good, "G1");
    plcsim::PlcConfig running;
    running.runMode = true;
    ServedPv inRunMode(running);
    line->Plug("1-3", inRunMode, "R<1>");
    plcsim::PlcConfig slow;
    slow.flashWriteTimeMs = 60;
    ServedPv slowUnit(slow);
    line->Plug("1-4", slowUnit, "S1");
    ASSERT_TRUE(line->Await("1-2", "take_out", "done")) << line->Output();
    ASSERT_TRUE(line->Await("1-3", "take_out", "STOP")) << line->Output();
    const std::string tile = "document.querySelector('[data-socket=\"usb-path:1-";
    ASSERT_TRUE(browser.WaitUntil(tile + "2\"]')?.dataset.state === 'done'", 10));
    // The replugs of the hand-over and of the new firmware's start, each shown.
    EXPECT_EQ(browser.Eval("/^(empty,)?working,(replug,working,)*replug,done$/.test("
                           "window.seen['usb-path:1-2'].join())"),
              true)
        << browser.Eval("JSON.stringify(window.seen)");
    ASSERT_TRUE(browser.WaitUntil(tile + "3\"]')?.dataset.state === 'failed'", 10));
    EXPECT_EQ(browser.Eval(tile + "3\"]').textContent.includes('switch it to STOP')"), true);
    // A device's text reaches the page as text, never as markup.
    EXPECT_EQ(browser.Eval(tile + "3\"]').textContent.includes('USB serial R<1>')"), true);
    // Four sockets, four states: done, failed, working, empty; counted above.
    ASSERT_TRUE(browser.WaitUntil(tile + "4\"]')?.textContent.includes('Programming')", 30));
    EXPECT_TRUE(browser.WaitUntil(
        "document.getElementById('counts').textContent.startsWith('done 1, failed 1')", 10));
    const char* folder = std::getenv("NORVANE_SCREENSHOTS");
    if (folder != nullptr) {
        browser.Screenshot(std::string(folder) + "/station-page.png");
    }
    // A tablet held upright: nothing wider than its screen.
    browser.Resize(800, 1280);
    EXPECT_EQ(browser.Eval("document.documentElement.scrollWidth <= 800"), true);
    if (folder != nullptr) {
        browser.Screenshot(std::string(folder) + "/station-page-tablet.png");
    }
    ASSERT_TRUE(line->Await("1-4", "take_out", "done", 120)) << line->Output();
    EXPECT_TRUE(
        browser.WaitUntil("document.getElementById('counts').textContent.startsWith('done 2, "
                          "failed 1, yield 66.7 %')",
                          10))
        << browser.Eval("document.getElementById('counts').textContent");

    // The station goes, and another comes on the same address.
    line->Unplug("1-2");
    line->Unplug("1-3");
    line->Unplug("1-4");
    EXPECT_EQ(line->Stop(), 1);
    line.reset();
    ASSERT_TRUE(
        browser.WaitUntil("document.getElementById('connection').dataset.connected === 'no'", 20));
    line = std::make_unique<Line>(sockets, serve);
    ASSERT_TRUE(
        browser.WaitUntil("document.getElementById('connection').dataset.connected === 'yes'", 20));
    ServedPv next;
    line->Plug("1-5", next, "N1");
    ASSERT_TRUE(line->Await("1-5", "take_out", "done")) << line->Output();
    EXPECT_TRUE(browser.WaitUntil(tile + "5\"]')?.dataset.state === 'done'", 10));
    line->Unplug("1-5");
    EXPECT_EQ(line->Stop(), 0);
}

}  // namespace
}  // namespace norvane::test
