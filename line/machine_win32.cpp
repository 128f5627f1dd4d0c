// The machine a line runs on, on Windows: COM ports and the PLC's USB interfaces
// through port/win32, PLC locks and socket claims as named mutexes, firmware
// files, a record file opened for appending only, and burn processes with a
// pipe for output and one for the image they are handed.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <thread>

#include "burn/untrusted_text.h"
#include "line/machine.h"
#include "line/windows_command_line.h"
#include "port/win32/plc_interface_listing.h"
#include "port/win32/plc_lock.h"
#include "port/win32/port_listing.h"
#include "port/win32/port_names.h"
#include "port/win32/port_open.h"
#include "port/win32/port_opener.h"

namespace norvane::line::machine {

namespace {

std::string LastErrorText(const std::string& what) {
    return what + ": " + SystemErrorText(GetLastError());
}

// The record with the right to append and not to write elsewhere: every write
// lands at the end. The right to read is for the writers' lock below, nothing is
// read. INVALID_HANDLE_VALUE with `error` set when it cannot be opened.
HANDLE OpenRecord(const std::string& path, std::string& error) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastErrorText("cannot open the record " + path);
    }
    return file;
}

// The writers of one record take turns on a lock of one byte far beyond the end
// of any record, so that a line is appended whole also where appending alone
// does not keep it so (a network share, Wine). Readers are never held up.
OVERLAPPED WritersLock() {
    OVERLAPPED at{};
    at.OffsetHigh = 0x40000000;
    return at;
}

// The burn's thread opens ports while the session may ask what was opened (for
// the record of an interrupted burn): the answers are taken under a lock.
class WinPortOpening : public PortOpening {
  public:
    WinPortOpening(const std::string& selector, std::chrono::seconds replugTimeout)
        : opener_(selector, replugTimeout) {}

    LinkPtr OpenSerial(const std::string& name) override { return Noted(opener_.OpenSerial(name)); }
    LinkPtr OpenUsbPlc() override { return Noted(opener_.OpenUsbPlc()); }
    std::string LastFailure() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return DescribeOpenFailure(failure_);
    }
    std::string LastFailureHint() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return OpenFailureHint(failure_);
    }
    std::string Device() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return device_;
    }
    // The interface's place on the buses is not in its device path; the serial number is.
    std::string UsbPath() const override { return ""; }
    std::string UsbSerial() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return serial_;
    }
    void OnSearch(std::function<void(std::int64_t)> listener) override {
        opener_.OnSearch(std::move(listener));
    }
    void LetGo() override { opener_.LetGo(); }
    bool AwaitReplug(std::chrono::seconds limit,
                     const std::function<void(std::int64_t)>& told) override {
        return opener_.AwaitReplug(limit, told);
    }

  private:
    LinkPtr Noted(LinkPtr link) {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = opener_.failure();
        device_ = opener_.device();
        serial_ = opener_.serial();
        return link;
    }

    PortOpener opener_;
    mutable std::mutex mutex_;
    OpenFailure failure_;
    std::string device_;
    std::string serial_;
};

// Writes `input` into the child's standard input and closes it; a child that
// stops reading (it ended, or closed its input) ends it early.
void Feed(HANDLE in, const std::vector<std::uint8_t>* input) {
    for (std::size_t done = 0; done < input->size();) {
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(input->size() - done, 1u << 16));
        if (!WriteFile(in, input->data() + done, chunk, &written, nullptr) || written == 0) {
            break;
        }
        done += written;
    }
    CloseHandle(in);
}

class WinChild : public Child {
  public:
    WinChild(PROCESS_INFORMATION process, HANDLE out, HANDLE stop, HANDLE in,
             const std::vector<std::uint8_t>& input)
        : process_(process), out_(out), stop_(stop) {
        if (in != nullptr) {
            feeder_ = std::thread(Feed, in, &input);
        }
    }
    ~WinChild() override {
        CloseHandle(out_);
        if (status_ == kRunning) {
            TerminateProcess(process_.hProcess, 1);
            Wait();
        }
        // The child has ended, and with it its end of the input pipe: the feeder
        // stops at its next write, if it was still writing.
        if (feeder_.joinable()) {
            feeder_.join();
        }
        CloseHandle(stop_);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    std::size_t Read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
        // A broken pipe is the end of its output: every writer has closed it.
        if (!ReadFile(out_, buffer, wanted, &got, nullptr)) {
            return 0;
        }
        return got;
    }
    // Ctrl-Break on the console they share, and the stop event, which needs none.
    void Interrupt() override {
        if (status_ == kRunning) {
            GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process_.dwProcessId);
            SetEvent(stop_);
        }
    }
    // Nothing to tell: this process never has a hang-up of its own (see HungUp),
    // and a closed console ends the children sharing it with the system's own event.
    void HangUp() override {}
    void Kill() override {
        if (status_ == kRunning) {
            TerminateProcess(process_.hProcess, 1);
        }
    }
    int Wait() override {
        if (status_ != kRunning) {
            return status_;
        }
        WaitForSingleObject(process_.hProcess, INFINITE);
        DWORD code = 1;
        GetExitCodeProcess(process_.hProcess, &code);
        // An exception status (0xC0000005 and its kin) is how Windows ends a
        // process that crashed: the counterpart of a signal.
        status_ = code >= 0xC0000000u ? -1 : static_cast<int>(code);
        return status_;
    }

  private:
    static constexpr int kRunning = -2;
    PROCESS_INFORMATION process_;
    HANDLE out_;
    HANDLE stop_;
    int status_ = kRunning;
    std::thread feeder_;
};

// An inheritable copy of `handle`, for the one child about to be started.
HANDLE InheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

void CloseAll(std::initializer_list<HANDLE> handles) {
    for (HANDLE handle : handles) {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
}

}  // namespace

std::vector<PortRow> ListPorts() {
    std::vector<PortRow> rows;
    for (const std::string& name : WindowPortNames()) {
        rows.push_back(PortRow{name, "serial", "", "", ComPortDevicePath(name)});
    }
    for (const std::string& path : AttachedPlcInterfaces()) {
        rows.push_back(PortRow{path, "plc-usb", SerialFromDevicePath(path), "", path});
    }
    return rows;
}

// Windows tells a device's arrival only to a window's message loop: a station
// there looks at its sockets on a timer.
std::unique_ptr<PlcUsbFollower> FollowPlcUsb(std::string& /*error*/) {
    return nullptr;
}

std::vector<std::string> WindowPortNames() {
    return InPortListOrder(ComPortNames().value_or(std::vector<std::string>{}));
}

// The named mutex of a PLC can always be had here, so a burn and a look at the
// PLC open its port alike.
std::unique_ptr<PortOpening> MakePortOpening(const std::string& selector,
                                             std::chrono::seconds replugTimeout, PortUse) {
    return std::make_unique<WinPortOpening>(selector, replugTimeout);
}

// The device a --port names is the path it is opened by: the PLC the window
// would choose for USB (none when no PLC is attached), an interface path with
// the backslash it is opened with, a COM port in the device namespace. A COM
// port is not looked for: the same name twice is the same PLC either way.
PortCheck CheckPort(const std::string& selector) {
    PortCheck check;
    std::string name = selector;
    if (name.compare(0, 4, "\\\\.\\") == 0) {
        name.erase(0, 4);
    }
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    check.ownTerminal = name == "CON" || name == "CONIN$" || name == "CONOUT$";
    if (NamesWindowsChoice(selector)) {
        const std::vector<std::string> interfaces = AttachedPlcInterfaces();
        check.device = interfaces.empty() ? "" : PipePathFor(interfaces.front());
    } else {
        check.device =
            IsPlcDevicePath(selector.c_str()) ? PipePathFor(selector) : ComPortDevicePath(selector);
    }
    check.plcUsb = NamesWindowsChoice(selector) || IsPlcDevicePath(selector.c_str());
    check.key = PlcLockKey(check.device);
    check.usbSerial = SerialFromDevicePath(check.device);
    return check;
}

// Asking takes nothing: the holder is seen by its mapping, named by its program.
std::string PlcHolder(const std::string& selector) {
    const PortCheck check = CheckPort(selector);
    const std::optional<PortHolder> holder = PlcLockHolder(check.key);
    if (!holder || holder->pid == GetCurrentProcessId()) {
        return "";
    }
    return holder->pid == 0 ? "a process that cannot be seen from here"
                            : ForPerson(holder->command) + ", pid " + std::to_string(holder->pid);
}

bool PortExists(const std::string& selector) {
    const PortCheck check = CheckPort(selector);
    if (check.plcUsb) {
        return !check.device.empty();
    }
    HANDLE port = CreateFileA(check.device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_ACCESS_DENIED;  // there, and in use
    }
    CloseHandle(port);
    return true;
}

namespace {

class MutexClaim : public SocketClaim {
  public:
    PlcLock lock;
};

}  // namespace

std::unique_ptr<SocketClaim> ClaimSocket(const std::string& socket, std::string& holder) {
    const PortCheck check = CheckPort(socket);
    auto claim = std::make_unique<MutexClaim>();
    norvane::PortHolder who;
    if (claim->lock.Take("watch-" + (check.key.empty() ? socket : check.key), who) ==
        PlcLock::Taken::HeldElsewhere) {
        holder = who.pid == 0 ? "a process that cannot be seen from here"
                              : ForPerson(who.command) + ", pid " + std::to_string(who.pid);
        return nullptr;
    }
    return claim;
}

void TellServiceManager(const std::string&) {}

std::string HostName() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size)) {
        return "";
    }
    return std::string(name, size);
}

namespace {

// What a path names when it is a device or a pipe by its name alone, which is
// all that can be asked of it without opening it: the device namespace, but a
// drive or a share written in it. Empty for a name a file may have. (The names
// the system keeps for devices in every folder, NUL or COM1.bin, begin with no
// model's name: they never get this far.)
const char* DeviceByName(const std::string& path) {
    std::string upper = path;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    std::replace(upper.begin(), upper.end(), '/', '\\');
    if (upper.compare(0, 4, "\\\\.\\") != 0 && upper.compare(0, 4, "\\\\?\\") != 0) {
        return "";
    }
    const std::string rest = upper.substr(4);
    if (rest.compare(0, 5, "PIPE\\") == 0) {
        return "is a pipe";
    }
    const bool drive =
        rest.size() >= 2 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':';
    return drive || rest.compare(0, 4, "UNC\\") == 0 ? "" : "is a device";
}

// Reads `file` to its end, or until `bytes` holds more than `limit`. A pipe
// whose writer has closed it has ended.
bool ReadAll(HANDLE file, std::uint64_t limit, std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> chunk(1u << 16);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
            return GetLastError() == ERROR_BROKEN_PIPE;
        }
        if (got == 0) {
            return true;
        }
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
        if (bytes.size() > limit) {
            return true;
        }
    }
}

}  // namespace

bool AskAgain(const std::string&, std::string& error) {
    error =
        "a running station is asked for a unit again only on Linux; here, restart the "
        "station: a restart forgets the units it set aside";
    return false;
}

bool AgainAsked(const std::string&) {
    return false;
}

bool FilesIn(const std::string& dir, std::vector<std::string>& names,
             std::vector<std::string>& skipped, std::string& error) {
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        error = LastErrorText("cannot read the folder " + dir);
        return false;
    }
    names.clear();
    do {
        const std::string name = found.cFileName;
        const DWORD kind = found.dwFileAttributes;
        if (name == "." || name == "..") {
            continue;
        }
        if ((kind & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            skipped.push_back(name + ": a link, not a file of the folder");
        } else if ((kind & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
            skipped.push_back(name + ((kind & FILE_ATTRIBUTE_DIRECTORY) != 0 ? " is a directory"
                                                                             : " is a device"));
        } else {
            names.push_back(name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return true;
}

bool ReadWholeFile(const std::string& path, std::uint64_t limit, std::vector<std::uint8_t>& bytes,
                   std::uint64_t& size, std::string& error) {
    bytes.clear();
    if (path != "-") {
        if (const char* what = DeviceByName(path); *what != '\0') {
            error = path + " " + what + ", not a firmware file";
            return false;
        }
        WIN32_FILE_ATTRIBUTE_DATA attributes{};
        if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) {
            const DWORD code = GetLastError();
            // Wine answers so for a FIFO or a device of the system beneath it.
            error = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                        ? path + " does not exist"
                    : code == ERROR_INVALID_PARAMETER
                        ? path + " is no regular file, not a firmware file"
                        : LastErrorText("cannot read " + path);
            return false;
        }
        const DWORD kind = attributes.dwFileAttributes;
        if ((kind & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
            error = path +
                    ((kind & FILE_ATTRIBUTE_DIRECTORY) != 0 ? " is a directory" : " is a device") +
                    ", not a firmware file";
            return false;
        }
        size = static_cast<std::uint64_t>(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow;
        if (size > limit) {
            return true;
        }
    }
    HANDLE file = path == "-"
                      ? GetStdHandle(STD_INPUT_HANDLE)
                      : CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    const std::string what = path == "-" ? "the image from standard input" : path;
    if (file == nullptr || file == INVALID_HANDLE_VALUE) {
        error = LastErrorText("cannot read " + what);
        return false;
    }
    // A link is followed to what it names: that must be a file on a disk too.
    const bool same = path == "-" || GetFileType(file) == FILE_TYPE_DISK;
    const bool read = same && ReadAll(file, limit, bytes);
    const DWORD readError = GetLastError();
    if (path != "-") {
        CloseHandle(file);
    }
    if (!read) {
        error = same ? "cannot read " + what + ": " + SystemErrorText(readError)
                     : path + " is no file on a disk, not a firmware file";
        return false;
    }
    size = bytes.size();
    if (size > limit) {
        bytes.clear();
    }
    return true;
}

bool CanAppend(const std::string& path, std::string& error) {
    HANDLE file = OpenRecord(path, error);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// One WriteFile per line, at the end of the file and in turn with every other
// writer, so the lines of burns that end together, in this run or another, never mix.
bool AppendLine(const std::string& path, const std::string& line, std::string& error) {
    HANDLE file = OpenRecord(path, error);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // A file system without locks still gets the line, appended as well as it can be.
    OVERLAPPED lock = WritersLock();
    const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock) != 0;
    // A record whose last line was cut short gets its newline first.
    std::string text = line + "\n";
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>((size.QuadPart - 1) & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
        char last = '\n';
        DWORD got = 0;
        if (ReadFile(file, &last, 1, &got, &at) && got == 1 && last != '\n') {
            text.insert(0, 1, '\n');
        }
    }
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
    if (!ok) {
        error = LastErrorText("cannot write the record " + path);
    } else if (written != text.size()) {
        error = "the record " + path + " took only part of the line (disk full?)";
        ok = false;
    } else if (!FlushFileBuffers(file)) {
        error = LastErrorText("cannot sync the record " + path);
        ok = false;
    }
    if (locked) {
        lock = WritersLock();
        UnlockFileEx(file, 0, 1, 0, &lock);
    }
    CloseHandle(file);
    return ok;
}

bool ReadFrom(const std::string& path, std::uint64_t offset, std::size_t limit,
              std::vector<char>& bytes, std::string& fileId, std::string& error) {
    bytes.clear();
    fileId.clear();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        error = "cannot read " + path + ": " + SystemErrorText(why);
        return why == ERROR_FILE_NOT_FOUND;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool disk =
        GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info);
    fileId = std::to_string(info.dwVolumeSerialNumber) + ":" +
             std::to_string((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                            info.nFileIndexLow);
    bytes.resize(limit);
    std::size_t got = 0;
    while (disk && got < limit) {
        OVERLAPPED at{};
        const std::uint64_t where = offset + got;
        at.Offset = static_cast<DWORD>(where & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(limit - got, 1u << 20));
        if (!ReadFile(file, bytes.data() + got, want, &n, &at) || n == 0) {
            break;
        }
        got += n;
    }
    CloseHandle(file);
    bytes.resize(got);
    if (!disk) {
        error = path + " is no file on a disk";
    }
    return disk;
}

std::unique_ptr<Child> StartChild(const std::vector<std::string>& args,
                                  const std::vector<std::uint8_t>& input, std::string& error) {
    char self[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        error = LastErrorText("cannot find this program");
        return nullptr;
    }
    std::vector<std::string> words{self};
    words.insert(words.end(), args.begin(), args.end());
    std::string commandLine = CommandLine(words);

    // The handles the child gets are inheritable copies made for it alone and
    // closed once it has them, so no child holds another's pipe open.
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 0)) {
        error = LastErrorText("cannot make a pipe");
        return nullptr;
    }
    // Standard input: `input` through a pipe of its own, or from nowhere (the
    // parent answers no prompt). Standard error shared.
    HANDLE inRead = nullptr;
    HANDLE inWrite = nullptr;
    if (!input.empty() && !CreatePipe(&inRead, &inWrite, nullptr, 0)) {
        error = LastErrorText("cannot make a pipe");
        CloseAll({read, write});
        return nullptr;
    }
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE nowhere = input.empty()
                         ? CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr)
                         : nullptr;
    HANDLE childOut = InheritableCopy(write);
    HANDLE childIn = InheritableCopy(input.empty() ? nowhere : inRead);
    HANDLE childErr = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
    HANDLE childStop = InheritableCopy(stop);
    CloseAll({write, nowhere, inRead});
    if (stop == nullptr || childOut == nullptr || childIn == nullptr || childStop == nullptr) {
        error = LastErrorText("cannot start a burn");
        CloseAll({read, stop, inWrite, childOut, childIn, childErr, childStop});
        return nullptr;
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = childErr != nullptr ? childErr : INVALID_HANDLE_VALUE;
    // A process group of its own, so that Ctrl-Break can be sent to it alone;
    // without a console here it gets a hidden one rather than a window.
    const DWORD flags =
        CREATE_NEW_PROCESS_GROUP | (GetConsoleWindow() == nullptr ? CREATE_NO_WINDOW : 0);
    // Children are started one after another from one thread, so the variable
    // names this child's copy of the event while it starts.
    SetEnvironmentVariableA(kStopEventVariable,
                            std::to_string(reinterpret_cast<std::uintptr_t>(childStop)).c_str());
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(self, &commandLine[0], nullptr, nullptr, TRUE, flags,
                                        nullptr, nullptr, &startup, &process);
    if (!started) {
        error = LastErrorText("cannot start a burn");
    }
    SetEnvironmentVariableA(kStopEventVariable, nullptr);
    CloseAll({childOut, childIn, childErr, childStop});
    if (!started) {
        CloseAll({read, stop, inWrite});
        return nullptr;
    }
    return std::make_unique<WinChild>(process, read, stop, inWrite, input);
}

}  // namespace norvane::line::machine
