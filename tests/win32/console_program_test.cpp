// The console program's own Windows part: the command lines its children are
// started with, the record that burns ending together append to, and what a
// --port names.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

// clang-format off
#include "port/win32/win32_headers.h"
#include <shellapi.h>
// clang-format on
#include "line/machine.h"
#include "line/windows_command_line.h"
#include "tests/win32/check.h"

namespace norvane {
namespace {

// What the platform's own splitting makes of a command line: the words a child gets.
std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> words;
    const int wide = MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, &text[0], wide);
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(text.c_str(), &count);
    for (int i = 0; argv != nullptr && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_ACP, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string word(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_ACP, 0, argv[i], -1, &word[0], size, nullptr, nullptr);
        word.resize(static_cast<std::size_t>(size > 0 ? size - 1 : 0));
        words.push_back(word);
    }
    LocalFree(argv);
    return words;
}

TEST_CASE(ChildrenGetTheWordsTheParentMeant) {
    const std::vector<std::string> words = {
        "C:\\Program Files\\norvane-fwupdate-cli.exe",
        "--port",
        "\\\\.\\COM1",
        "\\\\?\\usb#vid_6c2e&pid_0001#A1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}\\",
        "--record",
        "C:\\burn records\\line 3\\",  // a backslash before the closing quote
        "",
        "say \"hi\"",
        "back\\\\\"slash",
        "tab\there",
        "\\\\server\\share\\x y\\\\",
    };
    const std::vector<std::string> split = Split(line::CommandLine(words));
    CHECK(split == words);
    if (split != words) {
        std::printf("  command line: %s\n", line::CommandLine(words).c_str());
    }
    // Words without spaces or quotes stay as they are.
    CHECK(line::QuoteArgument("\\\\.\\COM1") == "\\\\.\\COM1");
}

// Writers appending at once, each line through a handle of its own as separate
// burns do: every line arrives whole, none is lost.
// Every name of one PLC has one key (--port twice with two of them is refused,
// and a burn's owner lock is the same under each); other PLCs have others.
TEST_CASE(EveryNameOfOnePlcHasOneKey) {
    const std::string a =
        "\\\\?\\usb#vid_6c2e&pid_0001#SN-A#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    const std::string p1 =
        "\\\\?\\usb#vid_6c2e&pid_0001#5&1a2b3c&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    const std::vector<std::vector<std::string>> plcs = {
        {"COM3", "\\\\.\\COM3", "com3", "\\\\.\\com3"},
        {"COM13"},
        {a, a + "\\", "\\\\?\\USB#VID_6C2E&PID_0001#sn-a#{A5DCBF10-6530-11D2-901F-00C04FB951ED}",
         "\\\\?\\usb#vid_6c2e&pid_0001#SN-A#{86e0d1e0-8089-11d0-9ce4-08003e301f73}"},
        {p1, p1 + "\\"},
        {"\\\\?\\usb#vid_6c2e&pid_0001#5&1a2b3c&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    };
    std::vector<std::string> keys;
    for (const std::vector<std::string>& names : plcs) {
        const std::string key = line::machine::CheckPort(names.front()).key;
        for (const std::string& name : names) {
            const line::machine::PortCheck check = line::machine::CheckPort(name);
            if (check.key != key || key.empty() || check.ownTerminal) {
                checks::Fail(__FILE__, __LINE__, name + ": key " + check.key + ", not " + key);
            }
        }
        CHECK(std::find(keys.begin(), keys.end(), key) == keys.end());
        keys.push_back(key);
    }
    CHECK(line::machine::CheckPort(a).usbSerial == "SN-A");
    CHECK(line::machine::CheckPort("com3").device == "\\\\.\\com3");
    for (const char* console : {"CON", "conout$", "\\\\.\\CONIN$"}) {
        CHECK(line::machine::CheckPort(console).ownTerminal);
    }
}

TEST_CASE(RecordLinesOfConcurrentBurnsNeverMix) {
    char directory[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    GetTempPathA(sizeof directory, directory);
    if (GetTempFileNameA(directory, "rec", 0, path) == 0) {
        checks::Fail(__FILE__, __LINE__, "no temporary file");
        return;
    }
    constexpr int kWriters = 8;
    constexpr int kLines = 60;
    std::vector<std::thread> writers;
    int failures[kWriters] = {};
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < kLines; ++i) {
                // Lines from a few bytes to several kilobytes, each telling its length.
                const std::size_t size = static_cast<std::size_t>(1 + (w * 977 + i * 131) % 5000);
                std::string line =
                    std::to_string(w) + " " + std::to_string(i) + " " + std::to_string(size) + " ";
                line.append(size, static_cast<char>('a' + w));
                std::string error;
                if (!line::machine::AppendLine(path, line, error)) {
                    ++failures[w];
                }
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    int seen[kWriters][kLines] = {};
    int whole = 0;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        int w = -1;
        int i = -1;
        std::size_t size = 0;
        int used = 0;
        if (std::sscanf(line.c_str(), "%d %d %zu %n", &w, &i, &size, &used) != 3 || w < 0 ||
            w >= kWriters || i < 0 || i >= kLines ||
            line.size() != static_cast<std::size_t>(used) + size ||
            line.find_first_not_of(static_cast<char>('a' + w), static_cast<std::size_t>(used)) !=
                std::string::npos) {
            checks::Fail(__FILE__, __LINE__, "a torn line: " + line.substr(0, 40));
            continue;
        }
        ++seen[w][i];
        ++whole;
    }
    in.close();
    DeleteFileA(path);
    CHECK_EQ(whole, kWriters * kLines);
    for (int w = 0; w < kWriters; ++w) {
        CHECK_EQ(failures[w], 0);
        for (int i = 0; i < kLines; ++i) {
            CHECK_EQ(seen[w][i], 1);
        }
    }
}

}  // namespace
}  // namespace norvane
