#include "port/posix/port_name_order.h"

#include <cctype>
#include <cstddef>

namespace norvane::posix {

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

bool PortNameLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Compare the digit runs by value: skip leading zeros, then the
            // longer run is larger, then the first differing digit decides.
            std::size_t ai = i;
            std::size_t bj = j;
            while (ai < a.size() && a[ai] == '0') {
                ++ai;
            }
            while (bj < b.size() && b[bj] == '0') {
                ++bj;
            }
            std::size_t aEnd = ai;
            std::size_t bEnd = bj;
            while (aEnd < a.size() && IsDigit(a[aEnd])) {
                ++aEnd;
            }
            while (bEnd < b.size() && IsDigit(b[bEnd])) {
                ++bEnd;
            }
            if (aEnd - ai != bEnd - bj) {
                return aEnd - ai < bEnd - bj;
            }
            const int order = a.compare(ai, aEnd - ai, b, bj, bEnd - bj);
            if (order != 0) {
                return order < 0;
            }
            i = aEnd;
            j = bEnd;
            continue;
        }
        if (a[i] != b[j]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        }
        ++i;
        ++j;
    }
    if (i == a.size() && j == b.size()) {
        return a < b;  // equal by value ("tty01" and "tty1"): keep the order total
    }
    return i == a.size();  // a prefix comes first
}

}  // namespace norvane::posix
