#include "ui/cli/json_object.h"

#include <cctype>
#include <cstdio>

#include "burn/untrusted_text.h"

namespace norvane::cli {

namespace {

// Valid UTF-8 whatever the bytes: a byte that is no UTF-8 is written as the
// text \xNN (its JSON form "\\xNN").
void AppendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : AsUtf8(text)) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

// Reads a JSON text left to right.
class Reader {
  public:
    explicit Reader(const std::string& text) : s_(text) {}

    void Space() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])) != 0) {
            ++i_;
        }
    }
    bool Take(char c) {
        Space();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool Word(const char* word) {
        Space();
        const std::string w = word;
        if (s_.compare(i_, w.size(), w) == 0) {
            i_ += w.size();
            return true;
        }
        return false;
    }
    bool AtEnd() {
        Space();
        return i_ == s_.size();
    }
    bool String(std::string& out) {
        if (!Take('"')) {
            return false;
        }
        while (i_ < s_.size()) {
            const char c = s_[i_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                out += c;
            } else if (!Escape(out)) {
                return false;
            }
        }
        return false;
    }
    bool Number(std::string& out) {
        Space();
        const std::size_t start = i_;
        if (i_ < s_.size() && s_[i_] == '-') {
            ++i_;
        }
        const std::size_t digits = i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])) != 0) {
            ++i_;
        }
        if (i_ == digits || i_ - digits > 18 || (s_[digits] == '0' && i_ - digits > 1)) {
            return false;  // whole numbers only, of a size an int64 holds
        }
        out = s_.substr(start, i_ - start);
        return true;
    }

  private:
    bool Escape(std::string& out) {
        if (i_ >= s_.size()) {
            return false;
        }
        const char c = s_[i_++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                return Unicode(out);
            default:
                return false;
        }
    }
    // \uXXXX of the basic plane, as UTF-8.
    bool Unicode(std::string& out) {
        if (i_ + 4 > s_.size()) {
            return false;
        }
        unsigned code = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = s_[i_++];
            if (std::isxdigit(static_cast<unsigned char>(h)) == 0) {
                return false;
            }
            code = code * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(h))
                                                         ? h - '0'
                                                         : std::tolower(h) - 'a' + 10);
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        return true;
    }

    const std::string& s_;
    std::size_t i_ = 0;
};

}  // namespace

JsonObject& JsonObject::Put(const std::string& key, Type type, std::string text) {
    for (Field& f : fields_) {
        if (f.key == key) {
            f.type = type;
            f.text = std::move(text);
            return *this;
        }
    }
    fields_.push_back({key, type, std::move(text)});
    return *this;
}

JsonObject& JsonObject::Set(const std::string& key, const std::string& text) {
    return Put(key, Type::String, text);
}

JsonObject& JsonObject::Set(const std::string& key, const char* text) {
    return Put(key, Type::String, text);
}

JsonObject& JsonObject::Set(const std::string& key, std::int64_t number) {
    return Put(key, Type::Number, std::to_string(number));
}

JsonObject& JsonObject::Set(const std::string& key, bool flag) {
    return Put(key, Type::Bool, flag ? "true" : "false");
}

JsonObject& JsonObject::SetNull(const std::string& key) {
    return Put(key, Type::Null, "null");
}

JsonObject& JsonObject::SetTextOrNull(const std::string& key, const std::string& text) {
    return text.empty() ? SetNull(key) : Set(key, text);
}

std::vector<std::string> JsonObject::Keys() const {
    std::vector<std::string> keys;
    for (const Field& f : fields_) {
        keys.push_back(f.key);
    }
    return keys;
}

const JsonObject::Field* JsonObject::Find(const std::string& key) const {
    for (const Field& f : fields_) {
        if (f.key == key) {
            return &f;
        }
    }
    return nullptr;
}

std::optional<JsonObject::Type> JsonObject::TypeOf(const std::string& key) const {
    const Field* f = Find(key);
    return f != nullptr ? std::optional<Type>(f->type) : std::nullopt;
}

std::string JsonObject::Text(const std::string& key) const {
    const Field* f = Find(key);
    return f != nullptr && f->type == Type::String ? f->text : std::string();
}

std::int64_t JsonObject::Number(const std::string& key) const {
    const Field* f = Find(key);
    return f != nullptr && f->type == Type::Number ? std::stoll(f->text) : 0;
}

bool JsonObject::Flag(const std::string& key) const {
    const Field* f = Find(key);
    return f != nullptr && f->type == Type::Bool && f->text == "true";
}

std::string JsonObject::ToString() const {
    std::string out = "{";
    for (const Field& f : fields_) {
        if (out.size() > 1) {
            out += ", ";
        }
        AppendQuoted(out, f.key);
        out += ": ";
        if (f.type == Type::String) {
            AppendQuoted(out, f.text);
        } else {
            out += f.text;
        }
    }
    return out + "}";
}

std::optional<JsonObject> JsonObject::Parse(const std::string& line) {
    Reader r(line);
    JsonObject object;
    if (!r.Take('{')) {
        return std::nullopt;
    }
    if (r.Take('}')) {
        return r.AtEnd() ? std::optional<JsonObject>(object) : std::nullopt;
    }
    do {
        std::string key;
        std::string value;
        if (!r.String(key) || !r.Take(':')) {
            return std::nullopt;
        }
        if (r.String(value)) {
            object.Set(key, value);
        } else if (r.Word("true")) {
            object.Set(key, true);
        } else if (r.Word("false")) {
            object.Set(key, false);
        } else if (r.Word("null")) {
            object.SetNull(key);
        } else if (r.Number(value)) {
            object.Put(key, Type::Number, value);
        } else {
            return std::nullopt;
        }
    } while (r.Take(','));
    if (!r.Take('}') || !r.AtEnd()) {
        return std::nullopt;
    }
    return object;
}

}  // namespace norvane::cli
