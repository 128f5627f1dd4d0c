// The terminal program's command line: any words, in any order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/cli/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Words are separated by NULs, as the system hands them to main().
    std::vector<std::string> words{"norvane-fwupdate"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 16; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() && words.size() < 16)
        words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    argv.push_back(nullptr);

    norvane::cli::Options options;
    std::string error;
    const bool ok =
        norvane::cli::ParseOptions(static_cast<int>(words.size()), argv.data(), options, error);
    // A refused command line always says why.
    if (!ok && error.empty())
        std::abort();
    return 0;
}
