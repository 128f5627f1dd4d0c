// A flat JSON object on one line, as every line this program writes has been
// written: its fields in the order they were set, "key": value, ", " between
// them, valid UTF-8 whatever the bytes of its texts. Written and read by the
// JSON library; a line that is no such object is read as nothing.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace norvane::line {

using JsonLine = nlohmann::ordered_json;

// One line, without its newline.
std::string WriteLine(const JsonLine& object);
// The object on `text`; nothing when it is none (or not valid JSON).
std::optional<JsonLine> ReadLine(std::string_view text);

// A text field: its bytes made valid UTF-8 (untrusted_text.h); an empty one is
// an unknown fact, written null.
void PutText(JsonLine& object, const char* key, const std::string& text);
void PutTextOrNull(JsonLine& object, const char* key, const std::string& text);

// Typed reads of a field, false when it is missing or of another type: a field
// renamed on one side is told, never read as empty or 0.
bool GetText(const JsonLine& object, const char* key, std::string& text);
bool GetTextOrNull(const JsonLine& object, const char* key, std::string& text);
bool GetNumber(const JsonLine& object, const char* key, std::int64_t& number);
bool GetFlag(const JsonLine& object, const char* key, bool& flag);

}  // namespace norvane::line
