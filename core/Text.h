#pragma once

#include <string>
#include <string_view>

namespace qm {

// Game text is one byte per character in Windows-1252. These convert it where it meets UTF-8 hosts.
std::string cp1252ToUtf8(std::string_view bytes);
// Characters that Windows-1252 cannot hold become '?'; `lossless` (when given) tells whether any did.
std::string utf8ToCp1252(std::string_view utf8, bool* lossless = nullptr);
// Decodes one code point per character of UTF-16 (surrogate pairs joined) into UTF-8.
std::string utf16ToUtf8(std::u16string_view text);
bool isValidUtf8(std::string_view bytes);

// Letter case folding of ASCII letters only, as file names are compared here.
constexpr char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string asciiUpper(std::string_view text);
std::string asciiLower(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace qm
