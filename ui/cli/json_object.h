// A flat JSON object: named strings, whole numbers, true/false and null, in the
// order they were set. The events and the burn records are such objects, one per
// line; the several-PLC run reads its burns' events back with Parse.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace norvane::cli {

class JsonObject {
  public:
    enum class Type { String, Number, Bool, Null };

    JsonObject& Set(const std::string& key, const std::string& text);
    JsonObject& Set(const std::string& key, const char* text);
    JsonObject& Set(const std::string& key, std::int64_t number);
    JsonObject& Set(const std::string& key, bool flag);
    JsonObject& SetNull(const std::string& key);
    // The text, or null for an empty one: a fact that is not known.
    JsonObject& SetTextOrNull(const std::string& key, const std::string& text);

    bool Has(const std::string& key) const { return Find(key) != nullptr; }
    std::vector<std::string> Keys() const;
    std::optional<Type> TypeOf(const std::string& key) const;
    // The value, or an empty string, 0 or false when the key is missing or of another type.
    std::string Text(const std::string& key) const;
    std::int64_t Number(const std::string& key) const;
    bool Flag(const std::string& key) const;

    // One line, without the newline.
    std::string ToString() const;
    // The object a line holds; nothing when it is not one flat object.
    static std::optional<JsonObject> Parse(const std::string& line);

  private:
    struct Field {
        std::string key;
        Type type;
        std::string text;  // the string, or the number's or flag's literal
    };
    const Field* Find(const std::string& key) const;
    JsonObject& Put(const std::string& key, Type type, std::string text);

    std::vector<Field> fields_;
};

}  // namespace norvane::cli
