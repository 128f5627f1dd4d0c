#include "ui/cli/console.h"

#include <ctime>

#include "burn/untrusted_text.h"
#include "line/burn_record.h"

namespace norvane::cli {

std::string TimeStamp() {
    return line::UtcTime(std::time(nullptr)) + " ";
}

std::string Console::Stamped(const std::string& line) const {
    return live_ ? line : TimeStamp() + line;
}

void Console::ClearStatusLocked() {
    if (statusShown_) {
        out_.Write("\r\x1b[K");
        statusShown_ = false;
    }
}

void Console::DrawStatus(const StatusValues& values, const std::string& detail, bool waiting) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (asking_) {
        return;
    }
    if (live_) {
        const std::size_t columns = columns_ ? columns_() : 0;
        // One column short of the width: a line that fills it would wrap.
        const std::size_t fit = columns > 1 ? columns - 1 : 0;
        const std::string line = waiting ? FormatWaitLine(values, ForPerson(detail))
                                         : FormatStatusLine(values, fit, ForPerson(detail));
        out_.Write("\r" + FitTo(line, fit) + "\x1b[K");
        statusShown_ = true;
    } else if (values.flashStatus != lastPhase_) {
        out_.Write(Stamped(FormatPhaseLine(values)) + "\n");
    }
    lastPhase_ = values.flashStatus;
}

void Console::Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearStatusLocked();
    out_.Write(Stamped(ForPerson(line)) + "\n");
}

void Console::PrintError(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearStatusLocked();
    err_.Write(ForPerson(line) + "\n");
}

bool Console::Ask(const std::string& prompt, std::FILE* in) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ClearStatusLocked();
        out_.Write(prompt + " [Enter] ");
        asking_ = true;
    }
    int c = 0;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    asking_ = false;
    return c != EOF;
}

}  // namespace norvane::cli
