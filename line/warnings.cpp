#include "line/warnings.h"

#include <cstdio>
#include <mutex>

#include "burn/untrusted_text.h"

namespace norvane::line {

namespace {

std::mutex gMutex;
WarningSink gSink;

}  // namespace

void SetWarningSink(WarningSink sink) {
    std::lock_guard<std::mutex> lock(gMutex);
    gSink = std::move(sink);
}

void Warn(const std::string& text) {
    std::lock_guard<std::mutex> lock(gMutex);
    if (gSink) {
        gSink(text);
    } else {
        std::fprintf(stderr, "warning: %s\n", ForPerson(text).c_str());
    }
}

}  // namespace norvane::line
