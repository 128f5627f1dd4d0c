// A JSON line the programs under test print, read field by field as a test asks
// for them: a missing field, or one of another type, reads as empty, 0 or false,
// and TypeOf tells which it was.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace norvane::test {

class JsonFields {
  public:
    enum class Type { String, Number, Bool, Null };

    JsonFields() = default;

    // The object a line holds; nothing when it is not one. Where the tests are
    // run to hold what they read against the schema (NORVANE_TEST_JSON_LINES
    // names a file), every object read is appended to it.
    static std::optional<JsonFields> Parse(const std::string& line) {
        nlohmann::ordered_json object = nlohmann::ordered_json::parse(line, nullptr, false);
        if (object.is_discarded() || !object.is_object()) {
            return std::nullopt;
        }
        if (const char* log = std::getenv("NORVANE_TEST_JSON_LINES")) {
            std::ofstream(log, std::ios::app) << line + "\n" << std::flush;
        }
        return JsonFields(std::move(object));
    }

    bool Has(const std::string& key) const { return object_.contains(key); }
    std::vector<std::string> Keys() const {
        std::vector<std::string> keys;
        for (const auto& [key, value] : object_.items()) {
            keys.push_back(key);
        }
        return keys;
    }
    std::optional<Type> TypeOf(const std::string& key) const {
        if (!Has(key)) {
            return std::nullopt;
        }
        const auto& v = object_.at(key);
        return v.is_string()    ? Type::String
               : v.is_number()  ? Type::Number
               : v.is_boolean() ? Type::Bool
                                : Type::Null;
    }
    std::string Text(const std::string& key) const {
        return TypeOf(key) == Type::String ? object_.at(key).get<std::string>() : "";
    }
    std::int64_t Number(const std::string& key) const {
        return TypeOf(key) == Type::Number ? object_.at(key).get<std::int64_t>() : 0;
    }
    bool Flag(const std::string& key) const {
        return TypeOf(key) == Type::Bool && object_.at(key).get<bool>();
    }

    std::string ToString() const { return object_.dump(); }

  private:
    explicit JsonFields(nlohmann::ordered_json object) : object_(std::move(object)) {}
    nlohmann::ordered_json object_;
};

}  // namespace norvane::test
