// Checks of the console program that need Windows code beside it
// (run_wine_checks.sh):
//
//   c | break     its Ctrl-C or Ctrl-Break handler, raised from inside. Wine turns
//                 a SIGINT into Ctrl-C but cannot send Ctrl-Break to another
//                 process; this installs the handler exactly as the console
//                 program does, then runs the system's own delivery routine (the
//                 thread the system starts in a process to hand it a console
//                 control event) with the event.
//   json FILE EXIT PORT...
//                 the --json lines of a run in FILE: every line one JSON object
//                 with "event" (one of the eight) and "port" (one of PORT...), each
//                 port's events starting with "start" and ending with "end",
//                 whose "exit_status" is EXIT and which carries the start's
//                 "burn_id" and what the burn did to the PLC.
//   pid NAME      the process number the system gives the one running program
//                 whose file is NAME: what a refusal names its holder by.
//
// Exit status 0 when the check holds, 1 when it does not, 2 when it cannot be made.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// clang-format off
#include "port/win32/win32_headers.h"
#include <tlhelp32.h>
// clang-format on
#include "line/event_json.h"
#include "ui/cli/platform.h"

namespace {

using norvane::line::BurnEvent;
using norvane::line::EventKind;

int RaiseControlEvent(bool breakEvent) {
    const DWORD event = breakEvent ? CTRL_BREAK_EVENT : CTRL_C_EVENT;
    const char* name = breakEvent ? "Ctrl-Break" : "Ctrl-C";
    const FARPROC routine = GetProcAddress(GetModuleHandleA("kernel32.dll"), "CtrlRoutine");
    if (routine == nullptr) {
        std::printf("no console control routine to run\n");
        return 2;
    }
    norvane::cli::platform::CatchSignals();
    if (norvane::cli::platform::Interrupted()) {
        std::printf("interrupted before any event\n");
        return 1;
    }
    HANDLE delivery = CreateThread(
        nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(routine)),
        reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(event)), 0, nullptr);
    if (delivery == nullptr || WaitForSingleObject(delivery, 5000) != WAIT_OBJECT_0) {
        std::printf("%s was not delivered\n", name);
        return 1;
    }
    CloseHandle(delivery);
    const bool seen = norvane::cli::platform::Interrupted();
    std::printf("%s %s\n", name, seen ? "ends the burn" : "NOT seen");
    return seen ? 0 : 1;
}

int CheckJsonLines(const char* path, long exitStatus, const std::set<std::string>& ports) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::printf("cannot read %s\n", path);
        return 2;
    }
    std::map<std::string, std::vector<std::string>> byPort;
    std::map<std::string, std::string> burnIds;
    int lines = 0;
    int failures = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
        const std::optional<BurnEvent> event = norvane::line::ReadEventLine(line);
        if (!event || !ports.count(event->port)) {
            std::printf("line %d is not an event of the ports given: %s\n", lines, line.c_str());
            ++failures;
            continue;
        }
        std::vector<std::string>& kinds = byPort[event->port];
        if (!kinds.empty() && kinds.back() == "end") {
            std::printf("line %d comes after its port's end: %s\n", lines, line.c_str());
            ++failures;
        }
        kinds.push_back(norvane::line::KindWord(event->kind()));
        if (event->kind() == EventKind::Start) {
            burnIds[event->port] = event->Get<norvane::line::StartFields>().burnId;
        }
        if (event->kind() != EventKind::End) {
            continue;
        }
        const auto& end = event->Get<norvane::line::EndFields>();
        if (end.exitStatus != exitStatus) {
            std::printf("line %d: exit status %d, expected %ld\n", lines, end.exitStatus,
                        exitStatus);
            ++failures;
        }
        if (end.burnId.size() != 32 || end.burnId != burnIds[event->port]) {
            std::printf("line %d: not the end of the burn that started: %s\n", lines, line.c_str());
            ++failures;
        }
    }
    for (const std::string& port : ports) {
        const std::vector<std::string>& kinds = byPort[port];
        if (kinds.empty() || kinds.front() != "start" || kinds.back() != "end") {
            std::printf("%s: %zu events, not from start to end\n", port.c_str(), kinds.size());
            ++failures;
        } else {
            std::printf("%s: %zu events from start to end\n", port.c_str(), kinds.size());
        }
    }
    return failures == 0 ? 0 : 1;
}

int PrintPid(const char* name) {
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int found = 0;
    for (BOOL more = Process32First(all, &entry); more; more = Process32Next(all, &entry)) {
        if (_stricmp(entry.szExeFile, name) == 0) {
            std::printf("%lu\n", entry.th32ProcessID);
            ++found;
        }
    }
    CloseHandle(all);
    return found == 1 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "c" || mode == "break") {
        return RaiseControlEvent(mode == "break");
    }
    if (mode == "json" && argc > 4) {
        return CheckJsonLines(argv[2], std::strtol(argv[3], nullptr, 10),
                              std::set<std::string>(argv + 4, argv + argc));
    }
    if (mode == "pid" && argc == 3) {
        return PrintPid(argv[2]);
    }
    std::printf("usage: wine_console_check c | break | json FILE EXIT PORT... | pid NAME\n");
    return 2;
}
