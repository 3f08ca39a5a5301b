#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Little-endian values out of bytes in memory, the one decoding every reader uses. A byte that lies past
// the end of `bytes` reads as zero, as a short read of a file leaves it, so a field cut off by the end of
// its data never reads memory beyond it.
namespace qm::endian {

inline std::uint8_t byteAt(std::span<const std::byte> bytes, std::size_t at) {
    return at < bytes.size() ? std::to_integer<std::uint8_t>(bytes[at]) : std::uint8_t{0};
}

inline std::uint16_t loadU16(std::span<const std::byte> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(byteAt(bytes, at) | (byteAt(bytes, at + 1) << 8));
}

inline std::uint32_t loadU32(std::span<const std::byte> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(loadU16(bytes, at)) |
           (static_cast<std::uint32_t>(loadU16(bytes, at + 2)) << 16);
}

inline std::int16_t loadI16(std::span<const std::byte> bytes, std::size_t at) {
    return static_cast<std::int16_t>(loadU16(bytes, at));
}

inline std::int32_t loadI32(std::span<const std::byte> bytes, std::size_t at) {
    return static_cast<std::int32_t>(loadU32(bytes, at));
}

// The same over bytes held as text (game files read whole, test and fuzz inputs).
inline std::span<const std::byte> asBytes(const void* data, std::size_t size) {
    return {static_cast<const std::byte*>(data), size};
}

// The same values written: appended to bytes being built, low byte first.
inline void appendU16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

inline void appendU32(std::string& out, std::uint32_t value) {
    appendU16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    appendU16(out, static_cast<std::uint16_t>(value >> 16));
}

} // namespace qm::endian
