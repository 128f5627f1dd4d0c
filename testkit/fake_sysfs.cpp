#include "fake_sysfs.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace norvane::test {

namespace fs = std::filesystem;

FakeSysfs::FakeSysfs() {
    std::string pattern = (fs::temp_directory_path() / "norvane-sysfs-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    root_ = pattern;
    fs::create_directories(fs::path(root_) / "class" / "tty");
    fs::create_directories(fs::path(root_) / "devices");
}

FakeSysfs::~FakeSysfs() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void FakeSysfs::WriteFile(const std::string& relPath, const std::string& content) {
    const fs::path file = fs::path(root_) / relPath;
    fs::create_directories(file.parent_path());
    std::ofstream(file) << content;
}

void FakeSysfs::Remove(const std::string& relPath) {
    fs::remove_all(fs::path(root_) / relPath);
}

void FakeSysfs::AddUsbDevice(const std::string& deviceDir, const std::string& vendor,
                             const std::string& product) {
    WriteFile("devices/" + deviceDir + "/idVendor", vendor + "\n");
    WriteFile("devices/" + deviceDir + "/idProduct", product + "\n");
}

void FakeSysfs::AddTty(const std::string& name, const std::string& deviceDir,
                       const std::string& type) {
    const std::string ttyDir = "devices/" + deviceDir + "/tty/" + name;
    fs::create_directories(fs::path(root_) / ttyDir);
    fs::create_directory_symlink("../..", fs::path(root_) / ttyDir / "device");
    fs::create_directory_symlink("../../" + ttyDir, fs::path(root_) / "class" / "tty" / name);
    if (!type.empty()) {
        WriteFile(ttyDir + "/type", type + "\n");
    }
}

void FakeSysfs::AddVirtualTty(const std::string& name) {
    const std::string ttyDir = "devices/virtual/tty/" + name;
    fs::create_directories(fs::path(root_) / ttyDir);
    fs::create_directory_symlink("../../" + ttyDir, fs::path(root_) / "class" / "tty" / name);
}

}  // namespace norvane::test
