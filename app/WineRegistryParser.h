#pragma once

#include "RegistryValue.h"

#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

// The pieces of a Wine registry file ("WINE REGISTRY Version 2": key lines in brackets, value lines
// "name"=data, Wine's own escapes), each read from one line of text.
namespace qm::registry {

// Longest line of a Wine registry file decoded. A value line longer than this cannot fit the buffer in any
// form Wine writes (at most six characters of the file per byte), so it is only recognised, not decoded.
inline constexpr std::size_t kMaxLine = std::size_t{64} * 1024;
// Data bytes kept; more fail in every type, even a UTF-16 string, which halves in the ANSI code page.
inline constexpr std::size_t kMaxData = 2 * kBufferSize + 2;

struct StoredValue {
    std::uint32_t type = 0;
    std::string data; // as the registry stores it: strings in UTF-16LE
    bool tooLong = false;
};

enum class Parse { Done, Continues, Malformed };

void skipSpaces(std::string_view s, std::size_t& pos);

// False at the end of the file. Keeps at most kMaxLine characters and says whether there were more, so a
// file without line breaks costs no more memory than one line.
bool readLine(std::streambuf& in, std::string& line, bool& overlong);

// Reads Wine's escaped text from `pos` up to the unescaped `endChar` and moves past it; false when the
// line ends first. "\x" takes up to four hex digits (one UTF-16 unit), "\0".."\7" up to three octal
// digits; any other escaped character stands for itself ("\\", "\"", "\]").
bool parseEscaped(std::string_view s, std::size_t& pos, char endChar, std::u16string& out);

// Names compare the way the registry compares them: without regard to the case of ASCII and Latin-1
// letters.
std::string foldName(std::string_view utf8);

// A key path's components, folded; empty components (doubled or outer backslashes) are dropped.
std::vector<std::string> keyComponents(std::string_view utf8Path);

// Comma-separated hex bytes; a line ending in a backslash continues on the next one.
Parse parseHexBytes(std::string_view s, std::size_t pos, StoredValue& value);

// The data after "=", in the forms Wine writes: "…", str:"…", str(2):"…", str(7):"…", dword:…, hex:…
// and hex(N):….
Parse parseData(std::string_view s, std::size_t pos, StoredValue& value);

// Whether `text` holds `upperNeedle` (ASCII, upper case) with ASCII letter case ignored.
bool containsFolded(std::string_view text, std::string_view upperNeedle);

} // namespace qm::registry
