// The terminal the burn talks to: a status line redrawn in place on a terminal,
// plain time-stamped lines otherwise, and messages and trace lines that never
// tear it. Output that has gone away is dropped (see output.h).
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "ui/cli/output.h"
#include "ui/cli/status_line.h"

namespace norvane::cli {

class Console {
  public:
    // `columns` tells the terminal's width now (0: unknown); the live line is
    // fitted to it at every redraw, so it follows a resize.
    Console(Output& out, Output& err, bool liveStatus, std::function<std::size_t()> columns = {})
        : out_(out), err_(err), live_(liveStatus), columns_(std::move(columns)) {}

    // Live: redraws the status line, with `detail` (the time left) after it, or
    // what the burn waits for instead of its bar. Otherwise one line when the
    // phase changes.
    void DrawStatus(const StatusValues& values, const std::string& detail = "",
                    bool waiting = false);

    // A line of its own on standard output (or error), below the status line;
    // without a terminal it carries the time. Whatever it holds is shown
    // escaped (untrusted_text.h): it may name a device or a file.
    void Print(const std::string& line);
    void PrintError(const std::string& line);

    // Prints `prompt` and waits for Enter on `in`; false at end of input (or
    // when the terminal has gone).
    bool Ask(const std::string& prompt, std::FILE* in);

    bool live() const { return live_; }

  private:
    void ClearStatusLocked();
    std::string Stamped(const std::string& line) const;

    Output& out_;
    Output& err_;
    bool live_;
    std::function<std::size_t()> columns_;
    bool statusShown_ = false;
    bool asking_ = false;  // no redraw over a prompt
    std::int32_t lastPhase_ = -1;
    std::mutex mutex_;
};

// "2026-12-08T17:00:58Z " before a line written where no terminal shows it.
std::string TimeStamp();

}  // namespace norvane::cli
