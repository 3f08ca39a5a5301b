#pragma once

#include <optional>
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
// The code point of the UTF-8 sequence at `pos`, moving past it; nothing for a byte that starts no valid
// sequence (overlong, a surrogate, past U+10FFFF, cut short), and `pos` then moves by that one byte.
std::optional<char32_t> nextUtf8(std::string_view text, std::size_t& pos);

// How a string table stores its texts: the original's Dialog.tlk in the code page, the Enhanced Edition's
// lang tables in UTF-8.
enum class TextEncoding { Windows1252, Utf8 };
// Text of either encoding as UTF-8. A UTF-8 text that is not valid UTF-8 is read as Windows-1252, so a
// damaged string still shows, never fails.
std::string gameTextToUtf8(std::string_view bytes, TextEncoding encoding);

// Letter case folding of ASCII letters only, as file names are compared here.
constexpr char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string asciiUpper(std::string_view text);
std::string asciiLower(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// `folder` with `separator` at its end unless it is empty or ends in a separator already: "/" always
// counts, "\" only where it is the separator (on Linux it is a character of a file name).
std::string withTrailingSeparator(std::string folder, char separator);
// `folder` without the separators ("\" and "/") at its end.
std::string withoutTrailingSeparators(std::string folder);

// The text without the spaces, tabs and carriage returns at either end, as settings files are read.
std::string trim(std::string_view text);

} // namespace qm
