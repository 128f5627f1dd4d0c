// The JSON reader takes what the burn processes of a several-PLC run write, and
// nothing that is not one flat object: it reads input it did not make.
#include "ui/cli/json_object.h"

#include <gtest/gtest.h>

namespace norvane::cli {
namespace {

TEST(JsonObjectParse, WellFormedAndMalformedLines) {
    const struct {
        const char* line;
        bool parses;
    } cases[] = {
        {R"({"event": "start", "port": "COM3", "image_size": 2076672, "ok": true, "x": null})",
         true},
        {"  {}  ", true},
        {R"({"a":-12,"b":false})", true},
        {R"({"text": "tab\tquote\" slash\/ \u00e9 \u20ac"})", true},
        {R"({"n": 123456789012345678})", true},
        {"", false},
        {"{", false},
        {R"({"a": 1,})", false},                   // a comma with nothing after it
        {R"({"a" 1})", false},                     // no colon
        {R"({a: 1})", false},                      // a key without quotes
        {R"({"a": 01})", false},                   // a leading zero
        {R"({"a": 1.5})", false},                  // whole numbers only
        {R"({"n": 1234567890123456789})", false},  // more than an int64 takes safely
        {R"({"a": "unterminated})", false},        //
        {"{\"a\": \"raw\ncontrol\"}", false},      // a control character in a string
        {R"({"a": "\x"})", false},                 // no such escape
        {R"({"a": "\u12"})", false},               // a short \u
        {R"({"a": [1, 2]})", false},               // not flat
        {R"({"a": {"b": 1}})", false},             //
        {R"({"a": 1} trailing)", false},           //
        {R"({"a": tru})", false},                  //
        {R"(["a"])", false},                       //
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<JsonObject> object = JsonObject::Parse(c.line);
        EXPECT_EQ(object.has_value(), c.parses);
        if (object) {
            // What it writes it reads back the same.
            const std::optional<JsonObject> again = JsonObject::Parse(object->ToString());
            ASSERT_TRUE(again);
            EXPECT_EQ(again->ToString(), object->ToString());
        }
    }
    const auto event = JsonObject::Parse(R"({"text": "\u00e9\u20ac", "n": -7, "ok": true})");
    ASSERT_TRUE(event);
    EXPECT_EQ(event->Text("text"), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(event->Number("n"), -7);
    EXPECT_TRUE(event->Flag("ok"));
    EXPECT_EQ(event->Number("text"), 0);  // a field of another type reads as nothing
}

}  // namespace
}  // namespace norvane::cli
