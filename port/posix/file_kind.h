// What a path is, in words, for messages that refuse what is no regular file.
#pragma once

#include <sys/stat.h>

namespace norvane::posix {

// "a directory", "a link", "a FIFO", "a device", "no regular file"; empty for a
// regular file.
inline const char* FileKind(mode_t mode) {
    if (S_ISREG(mode)) {
        return "";
    }
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISLNK(mode)) {
        return "a link";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    return "no regular file";
}

}  // namespace norvane::posix
