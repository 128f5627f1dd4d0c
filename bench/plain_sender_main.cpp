// norvane-plain-sender: the plain sender of reference_sender.h as a program of its
// own, so that it meets the line exactly as the tool does: another process.
//
// Usage: norvane-plain-sender MODEL IMAGE --port PATH
#include <cstdio>
#include <cstring>
#include <string>

#include "burn/catalogue.h"
#include "reference_sender.h"
#include "served_burn.h"

int main(int argc, char** argv) {
    if (argc != 5 || std::strcmp(argv[3], "--port") != 0) {
        std::fprintf(stderr, "usage: norvane-plain-sender MODEL IMAGE --port PATH\n");
        return 2;
    }
    const int index = norvane::FindModel(argv[1]);
    const std::vector<std::uint8_t> image = norvane::bench::ReadFileBytes(argv[2]);
    if (index < 0 || image.empty()) {
        std::fprintf(stderr, "norvane-plain-sender: unknown model or empty image\n");
        return 2;
    }
    return norvane::bench::RunReferenceSender(argv[4], norvane::ModelAt(index), image) ? 0 : 1;
}
