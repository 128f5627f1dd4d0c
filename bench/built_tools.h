// What the line benchmarks burn: the build's own QB7 front end and a Serial-model
// build with 128-byte blocks, each with the image it embeds. CMake gives the paths to
// the benchmark programs that include this.
#pragma once

#include <string>
#include <vector>

namespace norvane::bench {

struct BuiltTool {
    const char* model;
    std::string toolPath;
    std::string imagePath;
    // The front end, answering its prompts at once.
    std::vector<std::string> ToolArgs() const { return {toolPath, "--placeholder", "--yes"}; }
    // The plain sender with the same image (reference_sender.h).
    std::vector<std::string> PlainArgs() const {
        return {NORVANE_BENCH_PLAIN_SENDER, model, imagePath};
    }
};

inline BuiltTool UsbTool() {
    return {"QB7", NORVANE_BENCH_USB_TOOL, NORVANE_BENCH_USB_IMAGE};
}

inline BuiltTool SerialTool() {
    return {"NT4", NORVANE_BENCH_SERIAL_TOOL, NORVANE_BENCH_SERIAL_IMAGE};
}

}  // namespace norvane::bench
