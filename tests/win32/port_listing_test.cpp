// Filling a real sorted port list: the "USB" entry, a COM listing replacing it
// and a second listing replacing the first.
#include "port/win32/port_listing.h"

#include <cstdio>
#include <string>
#include <vector>

#include "tests/win32/check.h"

namespace norvane {
namespace {

std::vector<std::string> Entries(HWND list) {
    std::vector<std::string> entries;
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[64] = {};
        SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        entries.emplace_back(text);
    }
    return entries;
}

TEST_CASE(ListingsReplaceEachOther) {
    HWND parent =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND list =
        CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS,
                        0, 0, 100, 200, parent, nullptr, nullptr, nullptr);
    if (list == nullptr) {
        // Windows need a display; run_wine_checks.sh gives them one.
        std::printf("  SKIPPED: no window can be created here (no display)\n");
        return;
    }

    EnumUSBPort(list);
    CHECK(Entries(list) == std::vector<std::string>{"USB"});
    CHECK_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    CHECK_EQ(totalComPort, 1);

    EnumComPort(list);
    const std::vector<std::string> first = Entries(list);
    CHECK_EQ(static_cast<int>(first.size()), totalComPort);
    for (const std::string& entry : first) {
        CHECK(entry != "USB");
        CHECK(entry.size() <= 9);
    }
    std::printf("  COM ports listed: %d\n", totalComPort);

    EnumComPort(list);
    CHECK(Entries(list) == first);

    EnumUSBPort(list);
    CHECK(Entries(list) == std::vector<std::string>{"USB"});
    DestroyWindow(parent);
}

}  // namespace
}  // namespace norvane
