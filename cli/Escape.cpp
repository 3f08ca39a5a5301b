#include "Escape.h"

#include "Text.h"

#include <cstdio>

namespace qm::cli {

namespace {

// The embeddings, overrides and isolates, which would reorder the rest of the line on a terminal.
bool isBidiControl(char32_t cp) {
    return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// The code point of the valid UTF-8 sequence at `i`.
char32_t codePointAt(std::string_view text, std::size_t i) {
    return nextUtf8(text, i).value_or(U'\0');
}

} // namespace

std::string escapeField(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    const auto hex = [&result](unsigned value) {
        char digits[5];
        std::snprintf(digits, sizeof digits, "\\x%02X", value);
        result += digits;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            result += "\\n";
            ++i;
        } else if (c == '\n') {
            result += "\\n";
        } else if (c == '\r') {
            result += "\\r";
        } else if (c == '\t') {
            result += "\\t";
        } else if (c == '\\') {
            result += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            hex(c);
        } else if (c < 0x80) {
            result += static_cast<char>(c);
        } else {
            const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (length == 1 || i + length > text.size() || !isValidUtf8(text.substr(i, length))) {
                hex(c);
            } else if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                hex(static_cast<unsigned char>(text[i + 1])); // U+0080 to U+009F, the C1 controls
                ++i;
            } else if (const char32_t cp = codePointAt(text, i); isBidiControl(cp)) {
                char digits[7];
                std::snprintf(digits, sizeof digits, "\\u%04X", static_cast<unsigned>(cp));
                result += digits;
                i += length - 1;
            } else {
                result.append(text.substr(i, length));
                i += length - 1;
            }
        }
    }
    return result;
}

std::string gameText(const std::string& text) {
    return cp1252ToUtf8(text);
}

std::string hostText(const std::string& text) {
#ifdef _WIN32
    return cp1252ToUtf8(text);
#else
    return text;
#endif
}

} // namespace qm::cli
