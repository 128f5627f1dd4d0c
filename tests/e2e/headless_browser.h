// Debian's chromium, headless, driven over its DevTools protocol on the pipe it
// offers (--remote-debugging-pipe: JSON messages ending in a NUL byte on its
// descriptors 3 and 4), for tests that follow a page as a person would.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace norvane::test {

class HeadlessBrowser {
  public:
    using Json = nlohmann::json;

    HeadlessBrowser() {
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 3);
        posix_spawn_file_actions_adddup2(&actions, out[1], 4);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const std::string profile = "--user-data-dir=" + profile_;
        std::vector<const char*> argv{"chromium",      "--headless",     "--no-sandbox",
                                      "--disable-gpu", "--no-first-run", "--remote-debugging-pipe",
                                      profile.c_str(), "about:blank",    nullptr};
        if (posix_spawnp(&pid_, "chromium", &actions, nullptr, const_cast<char**>(argv.data()),
                         environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }

    ~HeadlessBrowser() {
        if (pid_ > 0) {
            Call("Browser.close", Json::object(), "", 5);
            int status = 0;
            for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        close(to_);
        close(from_);
        std::system(("rm -rf '" + profile_ + "'").c_str());
    }

    // Opens `url` in a new tab of `width` x `height` and attaches to it.
    bool Open(const std::string& url, int width, int height) {
        const Json target = Call("Target.createTarget", {{"url", "about:blank"}});
        if (!target.contains("targetId")) {
            return false;
        }
        session_ =
            Call("Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}})
                .value("sessionId", "");
        Resize(width, height);
        return Call("Page.navigate", {{"url", url}}, session_).contains("frameId");
    }

    // The page as a screen of `width` x `height` shows it.
    void Resize(int width, int height) {
        Call("Emulation.setDeviceMetricsOverride",
             {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}},
             session_);
    }

    // What `expression` gives in the page (a promise is awaited).
    Json Eval(const std::string& expression) {
        const Json reply =
            Call("Runtime.evaluate",
                 {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}},
                 session_);
        return reply.contains("result") ? reply["result"].value("value", Json()) : Json();
    }

    // Until `expression` is true in the page, for at most `seconds`.
    bool WaitUntil(const std::string& expression, int seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (Eval(expression) == Json(true)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    // The page as it looks now, as a PNG file.
    bool Screenshot(const std::string& path) {
        const Json shot = Call("Page.captureScreenshot", {{"format", "png"}}, session_);
        if (!shot.contains("data")) {
            return false;
        }
        std::ofstream(path, std::ios::binary) << Base64(shot["data"].get<std::string>());
        return true;
    }

    bool Running() const { return pid_ > 0; }

  private:
    static std::string Base64(const std::string& text) {
        static const std::string digits =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string bytes;
        unsigned value = 0;
        int bits = 0;
        for (const char c : text) {
            const std::size_t digit = digits.find(c);
            if (digit == std::string::npos) {
                continue;  // padding
            }
            value = (value << 6) | static_cast<unsigned>(digit);
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                bytes += static_cast<char>((value >> bits) & 0xff);
            }
        }
        return bytes;
    }

    // Sends one command and waits up to `seconds` for its answer (the events
    // that come before it are passed over); null when none came.
    Json Call(const std::string& method, const Json& params, const std::string& session = "",
              int seconds = 30) {
        Json message{{"id", ++id_}, {"method", method}, {"params", params}};
        if (!session.empty()) {
            message["sessionId"] = session;
        }
        const std::string text = message.dump() + '\0';
        if (write(to_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            return Json();
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            for (std::size_t nul; (nul = read_.find('\0')) != std::string::npos;) {
                const Json reply = Json::parse(read_.substr(0, nul), nullptr, false);
                read_.erase(0, nul + 1);
                if (reply.is_object() && reply.value("id", 0) == id_) {
                    return reply.value("result", Json());
                }
            }
            pollfd p{from_, POLLIN, 0};
            char buffer[65536];
            const ssize_t got = poll(&p, 1, 200) == 1 ? read(from_, buffer, sizeof buffer) : -1;
            if (got == 0) {
                return Json();
            }
            if (got > 0) {
                read_.append(buffer, static_cast<std::size_t>(got));
            }
        }
        return Json();
    }

    const std::string profile_ = "/tmp/norvane-chromium-" + std::to_string(getpid());
    pid_t pid_ = -1;
    int to_ = -1;
    int from_ = -1;
    int id_ = 0;
    std::string read_;
    std::string session_;
};

}  // namespace norvane::test
