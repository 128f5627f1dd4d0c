// A PLC's lock: one holder at a time, named by the kernel's table of locks, and
// never fooled, switched off or frozen by what is planted in its folder.
#include "port/posix/plc_lock.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace norvane::posix {
namespace {

namespace fs = std::filesystem;

class LockFolder {
  public:
    LockFolder() {
        std::string pattern = (fs::temp_directory_path() / "norvane-locks-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~LockFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string Lock(const std::string& key) const { return path_ + "/" + PlcLockFileName(key); }

  private:
    std::string path_;
};

TEST(PlcLock, OneHolderAtATimeNamedByTheKernelNeverByItsFile) {
    const LockFolder folder;
    const std::string key = "usb-serial-SN1";
    auto first = std::make_unique<PlcLock>();
    PortHolder holder;
    std::string problem;
    ASSERT_EQ(first->Take(key, holder, problem, folder.path()), PlcLock::Taken::Yes) << problem;
    // What the file says is anybody's to write; the holder is the kernel's word.
    std::ofstream(folder.Lock(key)) << "1 \x1b[1A\x1b[2K\x1b[32mDone\n";
    for (int ask = 0; ask < 2; ++ask) {  // asking takes nothing
        const std::optional<PortHolder> asked = PlcLockHolder(key, folder.path());
        ASSERT_TRUE(asked);
        EXPECT_EQ(asked->pid, ::getpid());
        EXPECT_EQ(asked->command, CommandLineOf("/proc/self"));
    }
    PlcLock second;
    EXPECT_EQ(second.Take(key, holder, problem, folder.path()), PlcLock::Taken::HeldElsewhere);
    EXPECT_EQ(holder.pid, ::getpid());
    // Let go: its file goes, and the next program takes the lock anew.
    first.reset();
    EXPECT_FALSE(PlcLockHolder(key, folder.path()));
    EXPECT_FALSE(fs::exists(folder.Lock(key)));
    EXPECT_EQ(second.Take(key, holder, problem, folder.path()), PlcLock::Taken::Yes) << problem;
}

TEST(PlcLock, AnythingButALockAtItsPathIsRefusedNamingItAndNeverWaitedOn) {
    const struct {
        const char* what;
        std::function<void(const std::string&)> plant;
    } cases[] = {
        {"a FIFO", [](const std::string& at) { ::mkfifo(at.c_str(), 0666); }},
        {"a link", [](const std::string& at) { fs::create_symlink("/etc/hostname", at); }},
        {"a directory", [](const std::string& at) { fs::create_directory(at); }},
        {"a file with 2 names",
         [](const std::string& at) {
             std::ofstream(at + ".twin") << "";
             fs::create_hard_link(at + ".twin", at);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const LockFolder folder;
        c.plant(folder.Lock("dev-188-0"));
        PlcLock lock;
        PortHolder holder;
        std::string problem;
        EXPECT_EQ(lock.Take("dev-188-0", holder, problem, folder.path()), PlcLock::Taken::Refused);
        EXPECT_NE(problem.find(folder.Lock("dev-188-0") + " is " + c.what), std::string::npos)
            << problem;
    }
    // A folder any user may write is no place for a lock, and a file is no folder;
    // a folder that is missing is made.
    const LockFolder open;
    ::chmod(open.path().c_str(), 0777);
    std::ofstream(open.path() + "/file") << "";
    const struct {
        std::string folder;
        const char* says;  // empty: taken
    } folders[] = {{open.path(), "may be written by every user"},
                   {open.path() + "/file", "is no folder"},
                   {LockFolder().path() + "-made", ""}};
    for (const auto& f : folders) {
        PlcLock lock;
        PortHolder holder;
        std::string problem;
        EXPECT_EQ(lock.Take("dev-188-0", holder, problem, f.folder),
                  *f.says == '\0' ? PlcLock::Taken::Yes : PlcLock::Taken::Refused);
        EXPECT_NE(problem.find(f.says), std::string::npos) << problem;
    }
    fs::remove_all(folders[2].folder);
}

TEST(PlcLock, EveryKeyHasAFileOfItsOwn) {
    const std::string longSerial(300, 'S');
    const std::string names[] = {
        PlcLockFileName("usb-serial-a/b"), PlcLockFileName("usb-serial-a_b"),
        PlcLockFileName("usb-serial-a%2Fb"), PlcLockFileName("usb-serial-" + longSerial),
        PlcLockFileName("usb-serial-" + longSerial + "T")};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        EXPECT_LE(names[i].size(), 255u);
        EXPECT_EQ(names[i].find('/'), std::string::npos);
        for (std::size_t j = i + 1; j < std::size(names); ++j) {
            EXPECT_NE(names[i], names[j]);
        }
    }
}

}  // namespace
}  // namespace norvane::posix
