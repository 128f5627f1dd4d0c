// The line's stop requests as the terminal program gets them: Ctrl-C or SIGTERM,
// a hang-up, and the terminal the program was started from going away.
#pragma once

#include <cstdio>
#include <functional>
#include <utility>

#include "line/controls.h"
#include "ui/cli/platform.h"

namespace norvane::cli {

class SignalControls : public line::Controls {
  public:
    SignalControls() {
        for (std::FILE* stream : {stdin, stdout, stderr}) {
            if (terminal_ == nullptr && platform::IsTerminal(stream)) {
                terminal_ = stream;
            }
        }
    }
    bool Interrupted() override { return platform::Interrupted(); }
    void ClearInterrupt() override { platform::ClearInterrupt(); }
    bool HungUp() override { return platform::HungUp(); }
    // Without a terminal (a service), a hang-up is no terminal going away.
    bool TerminalGone() override {
        return terminal_ != nullptr && platform::TerminalGone(terminal_);
    }
    // A hang-up with the terminal still there (or none: a service) asks for the
    // images again.
    bool RereadAsked() override { return platform::TakeHangUp() && !TerminalGone(); }
    void WakeWith(std::function<void()> wake) override { platform::WakeOnSignal(std::move(wake)); }

  private:
    std::FILE* terminal_ = nullptr;  // the terminal the program was started from
};

}  // namespace norvane::cli
