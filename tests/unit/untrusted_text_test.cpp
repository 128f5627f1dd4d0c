// What a device or a file says reaches a person escaped and a JSON line as UTF-8.
#include "burn/untrusted_text.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

TEST(UntrustedText, EscapesWhatATerminalWouldNotPrintAndKeepsTheRest) {
    const struct {
        std::string text, person, utf8;
    } cases[] = {
        {"SN-1234 \\\\.\\COM1", "SN-1234 \\\\.\\COM1", "SN-1234 \\\\.\\COM1"},
        {"SN\x1b[2J\x1b]0;owned\x07", "SN\\x1B[2J\\x1B]0;owned\\x07", "SN\x1b[2J\x1b]0;owned\x07"},
        {"a\nb\tc\x7f", "a\\x0Ab\\x09c\\x7F", "a\nb\tc\x7f"},
        {"M\xc3\xbcller \xe2\x82\xac", "M\xc3\xbcller \xe2\x82\xac", "M\xc3\xbcller \xe2\x82\xac"},
        {"\xc2\x9b"
         "2J",
         "\\xC2\\x9B2J",
         "\xc2\x9b"
         "2J"},  // C1 CSI
        {"ab\xe2\x80\xae"
         "dc",
         "ab\\xE2\\x80\\xAEdc",
         "ab\xe2\x80\xae"
         "dc"},                                                           // right-to-left
        {"\xff\xfe", "\\xFF\\xFE", "\\xFF\\xFE"},                         // no UTF-8
        {"\xc0\xaf", "\\xC0\\xAF", "\\xC0\\xAF"},                         // overlong '/'
        {"\xed\xa0\x80", "\\xED\\xA0\\x80", "\\xED\\xA0\\x80"},           // a surrogate
        {"x\xe2\x82", "x\\xE2\\x82", "x\\xE2\\x82"},                      // cut short
        {"\xf0\x9f\x94\xa5!", "\xf0\x9f\x94\xa5!", "\xf0\x9f\x94\xa5!"},  // four bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.person);
        EXPECT_EQ(ForPerson(c.text), c.person);
        EXPECT_EQ(AsUtf8(c.text), c.utf8);
    }
}

}  // namespace
}  // namespace norvane
