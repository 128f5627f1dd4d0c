// Filling a real sorted port list: the "USB" entry, a COM listing replacing it
// and a second listing replacing the first.
#include "port/win32/port_listing.h"

#include <cstdio>
#include <string>
#include <vector>

#include "tests/win32/check.h"
#include "ui/win32/port_list.h"

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

// A program that prints the window's list shows it in the order the sorted list
// itself keeps, whatever order the names came in.
TEST_CASE(PrintedListKeepsTheListsOrder) {
    using Names = std::vector<std::string>;
    const Names cases[] = {
        {"COM2", "COM10", "COM1"},
        {"COM3", "com20", "COM12", "COM4) (x"},
        {"COM-9", "COM1", "COMA", "COM_2"},
        {},
    };
    for (const Names& names : cases) {
        HWND parent =
            CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        HWND list = CreateWindowExA(0, "COMBOBOX", "",
                                    WS_CHILD | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS, 0, 0,
                                    100, 200, parent, nullptr, nullptr, nullptr);
        if (list == nullptr) {
            std::printf("  SKIPPED: no window can be created here (no display)\n");
            return;
        }
        for (const std::string& name : names) {
            SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        }
        const Names printed = InPortListOrder(names);
        if (printed != Entries(list)) {
            std::string shown;
            for (const std::string& name : printed) {
                shown += " " + name;
            }
            checks::Fail(__FILE__, __LINE__, "printed in another order:" + shown);
        }
        DestroyWindow(parent);
    }
}

}  // namespace
}  // namespace norvane
