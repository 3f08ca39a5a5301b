#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm::registry {

// The value is read into a buffer of this many bytes; anything longer fails.
inline constexpr std::size_t kBufferSize = 1024;

// Value types as the registry numbers them.
inline constexpr std::uint32_t kString = 1;
inline constexpr std::uint32_t kExpandString = 2;
inline constexpr std::uint32_t kNumber = 4;
inline constexpr std::uint32_t kMultiString = 7;

// The decimal text of a number value's bytes (little-endian, at most the low four counted).
std::string numberText(std::string_view bytes);

// What every back end does once the value's type, its bytes in the ANSI code page and the reported
// length are known: readregvalue's contract from there on.
bool takeValue(std::uint32_t type, std::string_view bytes, std::string& result);

} // namespace qm::registry
