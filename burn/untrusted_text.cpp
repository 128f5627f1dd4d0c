#include "burn/untrusted_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace norvane {

namespace {

// The length of the UTF-8 character that starts at `at`, with its code point;
// 0 when the bytes there are no UTF-8 (a stray continuation byte, a sequence cut
// short, an overlong form, a surrogate, a value beyond U+10FFFF).
std::size_t CharacterAt(std::string_view text, std::size_t at, std::uint32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    std::uint32_t least = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        least = 0x80;
        code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        least = 0x800;
        code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        least = 0x10000;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(at + i) & 0x3Fu);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < least || code > 0x10FFFF || surrogate ? 0 : length;
}

// Characters a terminal does not print as they are: the C0 and C1 controls, DEL,
// the line and paragraph separators and the marks that change the direction of
// the text around them (a serial number could turn the rest of a row around).
bool Unprintable(std::uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x200E || code == 0x200F ||
           (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

void AppendByte(std::string& out, char c) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X",
                  static_cast<unsigned>(static_cast<unsigned char>(c)));
    out += escaped;
}

template <typename Keep>
std::string Escaped(std::string_view text, Keep keep) {
    // Most texts are printable ASCII, which every caller keeps as it is.
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t code = 0;
        const std::size_t length = CharacterAt(text, at, code);
        if (length > 0 && keep(code)) {
            out.append(text.substr(at, length));
            at += length;
            continue;
        }
        // No UTF-8 here: this byte alone; else the whole character.
        for (const std::size_t end = at + (length > 0 ? length : 1); at < end; ++at) {
            AppendByte(out, text[at]);
        }
    }
    return out;
}

}  // namespace

std::string ForPerson(std::string_view text) {
    return Escaped(text, [](std::uint32_t code) { return !Unprintable(code); });
}

std::string AsUtf8(std::string_view text) {
    return Escaped(text, [](std::uint32_t) { return true; });
}

}  // namespace norvane
