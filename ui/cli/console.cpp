#include "ui/cli/console.h"

namespace norvane::cli {

void Console::ClearStatusLocked() {
    if (statusShown_) {
        std::fputs("\r\x1b[K", out_);
        statusShown_ = false;
    }
}

void Console::DrawStatus(const StatusValues& values) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (asking_) {
        return;
    }
    if (live_) {
        std::fprintf(out_, "\r%s\x1b[K", FormatStatusLine(values).c_str());
        statusShown_ = true;
    } else if (values.flashStatus != lastPhase_) {
        std::fprintf(out_, "%s\n", FormatPhaseLine(values).c_str());
    }
    lastPhase_ = values.flashStatus;
    std::fflush(out_);
}

void Console::Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearStatusLocked();
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

void Console::PrintError(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearStatusLocked();
    std::fflush(out_);
    std::fprintf(err_, "%s\n", line.c_str());
    std::fflush(err_);
}

bool Console::Ask(const std::string& prompt, std::FILE* in) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ClearStatusLocked();
        std::fprintf(out_, "%s [Enter] ", prompt.c_str());
        std::fflush(out_);
        asking_ = true;
    }
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    asking_ = false;
    return c != EOF;
}

}  // namespace norvane::cli
