// A pseudo-terminal for link tests: the test drives the master side, the link
// under test opens the slave by its path as it would a serial port.
#pragma once

#include <string>

namespace norvane::test {

class PtyPair {
  public:
    PtyPair();  // on failure master() is -1
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    // Closes the master side: the slave side sees a hang-up.
    void CloseMaster();

    // Writes all bytes to the master side; false when it could not.
    bool WriteMaster(const std::string& bytes);

    // Reads from the master side until `count` bytes arrived or `ms` passed.
    std::string ReadMaster(std::size_t count, int ms);

  private:
    int master_ = -1;
    std::string slavePath_;
};

}  // namespace norvane::test
