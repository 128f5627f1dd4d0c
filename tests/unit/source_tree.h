// The project's own files, for tests that hold what ships beside the program
// (the user's guide, the manual page, the changelog) against the code.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace norvane::test {

inline std::string ReadSourceFile(const std::string& relativePath) {
    std::ifstream in(std::string(NORVANE_SOURCE_DIR) + "/" + relativePath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace norvane::test
