#include "line/json_line.h"

#include "burn/untrusted_text.h"

namespace norvane::line {

std::string WriteLine(const JsonLine& object) {
    // The library writes no space after ':' and ','; the lines have always had
    // one, and scripts read them so. Outside its strings the library's text
    // holds no other ':' or ','.
    const std::string compact =
        object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string line;
    line.reserve(compact.size() + 2 * object.size());
    bool inString = false;
    bool escaped = false;
    for (const char c : compact) {
        line += c;
        if (escaped) {
            escaped = false;
        } else if (inString) {
            escaped = c == '\\';
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == ':' || c == ',') {
            line += ' ';
        }
    }
    return line;
}

std::optional<JsonLine> ReadLine(std::string_view text) {
    JsonLine object = JsonLine::parse(text.begin(), text.end(), nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        return std::nullopt;
    }
    return object;
}

void PutText(JsonLine& object, const char* key, const std::string& text) {
    object[key] = AsUtf8(text);
}

void PutTextOrNull(JsonLine& object, const char* key, const std::string& text) {
    if (text.empty()) {
        object[key] = nullptr;
    } else {
        PutText(object, key, text);
    }
}

bool GetText(const JsonLine& object, const char* key, std::string& text) {
    const auto field = object.find(key);
    if (field == object.end() || !field->is_string()) {
        return false;
    }
    text = field->get<std::string>();
    return true;
}

bool GetTextOrNull(const JsonLine& object, const char* key, std::string& text) {
    const auto field = object.find(key);
    if (field != object.end() && field->is_null()) {
        text.clear();
        return true;
    }
    return GetText(object, key, text);
}

bool GetNumber(const JsonLine& object, const char* key, std::int64_t& number) {
    const auto field = object.find(key);
    if (field == object.end() || !field->is_number_integer()) {
        return false;
    }
    number = field->get<std::int64_t>();
    return true;
}

bool GetFlag(const JsonLine& object, const char* key, bool& flag) {
    const auto field = object.find(key);
    if (field == object.end() || !field->is_boolean()) {
        return false;
    }
    flag = field->get<bool>();
    return true;
}

}  // namespace norvane::line
