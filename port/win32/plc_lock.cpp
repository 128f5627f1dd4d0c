#include "port/win32/plc_lock.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <future>
#include <initializer_list>

#include "port/win32/port_names.h"

namespace norvane {

namespace {

// The holder's words: "<pid> <command line>\n" and a NUL.
constexpr DWORD kHolderSize = 8192;
// A holder that has just taken the lock writes its words a moment later.
constexpr int kHolderReads = 5;
constexpr DWORD kHolderReadPauseMs = 10;

// The mutex is the whole machine's, whoever is logged on where: a PLC is one
// device. The holder's words go there too where the system lets this user make
// a mapping there (it takes a right of its own), else into this session's space.
constexpr const char* kLockSpace = "Global";
constexpr std::initializer_list<const char*> kHolderSpaces = {"Global", "Local"};

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// A kernel object's name takes no backslash after its name space.
std::string ObjectName(const char* space, const std::string& key, const char* kind) {
    std::string name = std::string(space) + "\\norvane-fwupdate.";
    for (const char c : key.substr(0, 160)) {
        const bool plain =
            std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
        name += plain ? c : '_';
    }
    return name + "." + kind;
}

HANDLE WriteHolder(const std::string& key) {
    const std::string words = std::to_string(GetCurrentProcessId()) + "\n";
    for (const char* space : kHolderSpaces) {
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            kHolderSize, ObjectName(space, key, "holder").c_str());
        if (mapping == nullptr) {
            continue;
        }
        if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kHolderSize)) {
            std::memcpy(view, words.c_str(), words.size() + 1);
            UnmapViewOfFile(view);
            return mapping;
        }
        CloseHandle(mapping);
    }
    return nullptr;
}

// The holder's process number, as its mapping holds it, once the mapping is
// there; the holder is named by its own program, and only once seen alive.
std::optional<PortHolder> ReadHolder(const std::string& key) {
    for (int i = 0; i < kHolderReads; ++i) {
        for (const char* space : kHolderSpaces) {
            HANDLE mapping =
                OpenFileMappingA(FILE_MAP_READ, FALSE, ObjectName(space, key, "holder").c_str());
            if (mapping == nullptr) {
                continue;
            }
            std::string words;
            if (const auto* view =
                    static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))) {
                words.assign(view, std::find(view, view + kHolderSize, '\0'));
                UnmapViewOfFile(view);
            }
            CloseHandle(mapping);
            if (words.empty() || words.back() != '\n') {
                continue;  // being written
            }
            PortHolder holder;
            const auto pid = static_cast<DWORD>(std::strtoul(words.c_str(), nullptr, 10));
            HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
            DWORD code = 0;
            if (process != nullptr && GetExitCodeProcess(process, &code) && code == STILL_ACTIVE) {
                char image[MAX_PATH] = {};
                DWORD size = MAX_PATH;
                holder.pid = pid;
                if (QueryFullProcessImageNameA(process, 0, image, &size)) {
                    holder.command.assign(image, size);
                }
            }
            if (process != nullptr) {
                CloseHandle(process);
            }
            return holder;
        }
        Sleep(kHolderReadPauseMs);
    }
    return std::nullopt;
}

}  // namespace

std::string PlcLockKey(const std::string& path) {
    const std::string serial = SerialFromDevicePath(path);
    if (!serial.empty()) {
        return "usb-serial-" + Upper(serial);
    }
    std::string name = path;
    while (!name.empty() && name.back() == '\\') {
        name.pop_back();
    }
    for (const char* prefix : {"\\\\.\\", "\\\\?\\"}) {
        if (name.compare(0, 4, prefix) == 0) {
            name.erase(0, 4);
            break;
        }
    }
    return name.empty() ? name : "port-" + Upper(name);
}

PlcLock::Taken PlcLock::Take(const std::string& key, PortHolder& holder) {
    if (Held()) {
        return Taken::Yes;
    }
    if (key.empty()) {
        return Taken::Refused;
    }
    HANDLE mutex = CreateMutexA(nullptr, FALSE, ObjectName(kLockSpace, key, "lock").c_str());
    if (mutex == nullptr) {
        // Made by another user's program, which this user may not open: it is held.
        return GetLastError() == ERROR_ACCESS_DENIED ? Taken::HeldElsewhere : Taken::Refused;
    }
    HANDLE letGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (letGo == nullptr) {
        CloseHandle(mutex);
        return Taken::Refused;
    }
    std::promise<bool> taken;
    std::future<bool> answer = taken.get_future();
    // The mutex is held by a thread of its own rather than by the burn's: it
    // stays held after the burn's thread ends, until the record is written.
    std::thread owner([mutex, letGo, taken = std::move(taken)]() mutable {
        const DWORD wait = WaitForSingleObject(mutex, 0);
        // Abandoned: its holder died without letting it go; it is ours now.
        const bool ours = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        taken.set_value(ours);
        if (ours) {
            WaitForSingleObject(letGo, INFINITE);
            ReleaseMutex(mutex);
        }
    });
    if (!answer.get()) {
        owner.join();
        CloseHandle(letGo);
        CloseHandle(mutex);
        holder = ReadHolder(key).value_or(PortHolder{});
        return Taken::HeldElsewhere;
    }
    mutex_ = mutex;
    letGo_ = letGo;
    owner_ = std::move(owner);
    mapping_ = WriteHolder(key);
    return Taken::Yes;
}

std::optional<PortHolder> PlcLockHolder(const std::string& key) {
    return key.empty() ? std::nullopt : ReadHolder(key);
}

PlcLock::~PlcLock() {
    if (owner_.joinable()) {
        SetEvent(letGo_);
        owner_.join();
    }
    for (HANDLE handle : {mapping_, letGo_, mutex_}) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
    }
}

}  // namespace norvane
