// The terminal the burn talks to: a status line redrawn in place on a terminal,
// plain lines otherwise, and messages and trace lines that never tear it.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "ui/cli/status_line.h"

namespace norvane::cli {

class Console {
  public:
    Console(std::FILE* out, std::FILE* err, bool liveStatus)
        : out_(out), err_(err), live_(liveStatus) {}

    // Live: redraws the status line. Otherwise one line when the phase changes.
    void DrawStatus(const StatusValues& values);

    // A line of its own on standard output (or error), below the status line.
    void Print(const std::string& line);
    void PrintError(const std::string& line);

    // Prints `prompt` and waits for Enter on `in`; false at end of input.
    bool Ask(const std::string& prompt, std::FILE* in);

  private:
    void ClearStatusLocked();

    std::FILE* out_;
    std::FILE* err_;
    bool live_;
    bool statusShown_ = false;
    bool asking_ = false;  // no redraw over a prompt
    std::int32_t lastPhase_ = -1;
    std::mutex mutex_;
};

}  // namespace norvane::cli
