// The closest public peer of the block transfer: XMODEM with CRC and 128-byte blocks,
// one acknowledgement per block, by Debian's lrzsz (sx sends, rx receives), over a
// pseudo-terminal pair shaped like the tool's: the sender on the slave side, the
// receiver on the master side.
#pragma once

#include <cstdint>
#include <string>

namespace norvane::bench {

struct PeerRun {
    std::string error;       // set when the peer could not be run (not installed, ...)
    bool completed = false;  // both ended well within the time cap
    double wallSeconds = 0;
    std::uint64_t blocksMoved = 0;  // blocks the receiver reported
    // The receiver's own count of blocks it waited for in vain: it drops what has
    // arrived after each acknowledgement, and on a fast line that is now and then the
    // next block, which costs it a time-out of seconds.
    std::uint32_t receiverTimeouts = 0;
    // Time between consecutive blocks where no time-out struck (gaps under 100 ms).
    double movingSeconds = 0;
    std::uint64_t movingBlocks = 0;
    // Starts given up because no block had come after a few seconds: the receiver
    // drops its input right after asking for the first block, and when the sender's
    // answer is quicker than that it is lost and both wait on each other.
    std::uint32_t failedStarts = 0;

    double BlocksPerSecond() const {
        return wallSeconds > 0 ? static_cast<double>(blocksMoved) / wallSeconds : 0;
    }
    // Its pace while blocks were moving: what it would reach without its time-outs.
    double MovingBlocksPerSecond() const {
        return movingSeconds > 0 ? static_cast<double>(movingBlocks) / movingSeconds : 0;
    }
};

// Moves `blocks` blocks of 128 bytes, starting the pair again when it does not get
// going; gives up after `capSeconds` in all. `workDir` holds the files and the logs.
PeerRun RunPeer(std::uint32_t blocks, double capSeconds, const std::string& workDir);

}  // namespace norvane::bench
