#pragma once

#include <string>
#include <string_view>

namespace qm::cli {

// One field of a line of output, whatever its text holds: a CR LF line break is "\n", and every other
// control code (C0, DEL and C1) and the backslash are escaped ("\n", "\r", "\t", "\\", "\xNN"), as is every
// byte that is not part of valid UTF-8, and the bidirectional controls U+202A-U+202E and U+2066-U+2069 as
// "\u202E", so no name from the game can start a line or a column of its own, reorder its line, or reach
// the terminal raw. `text` is UTF-8.
std::string escapeField(std::string_view text);

// Game text (Windows-1252) as the terminal's UTF-8.
std::string gameText(const std::string& text);

// A host path or host text as shown: the code page on Windows, bytes as they are elsewhere.
std::string hostText(const std::string& text);

} // namespace qm::cli
