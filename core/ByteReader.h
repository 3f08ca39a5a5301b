#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace qm {

// Reads a file as bytes at 0-based offsets, as the formats document their fields. Fixed-width reads
// are little-endian and signed; a read that finds fewer bytes than it asked for fills the rest with zero
// bytes and sets ranShort(), so callers that treat the end of a file as data can go on, and callers that
// need every byte use readExact().
class ByteSource;

class ByteReader {
public:
    // A large buffer suits sequential reads; readers that jump about want a small one, since every
    // jump refills it.
    static constexpr std::size_t kSequentialBuffer = 1 << 16;
    static constexpr std::size_t kRandomAccessBuffer = 512;

    explicit ByteReader(const std::filesystem::path& hostPath, std::size_t bufferSize = kSequentialBuffer);
    // Reads from any source: memory, or one that fails on demand in tests.
    explicit ByteReader(std::unique_ptr<ByteSource> source);
    ~ByteReader();
    ByteReader(const ByteReader&) = delete;
    ByteReader& operator=(const ByteReader&) = delete;
    ByteReader(ByteReader&& other) noexcept;
    ByteReader& operator=(ByteReader&& other) noexcept;

    std::int64_t length() const { return m_length; }
    // The source's name for messages: its host path, as shown.
    std::string name() const;
    // The host file's descriptor, or -1 (memory, closed, or a platform without one).
    int fileDescriptor() const;
    // 0-based offset of the next byte to read.
    std::int64_t position() const { return m_position; }
    // Moves to a 0-based offset; a negative one fails with 63, as a bad record number.
    void seek(std::int64_t offset);

    std::int16_t readI16();
    std::int32_t readI32();
    // Reads up to out.size() bytes; returns how many it found.
    std::size_t read(std::span<std::byte> out);
    // Reads exactly out.size() bytes or fails with 62 (input past end of file).
    void readExact(std::span<std::byte> out);
    // Whether the latest read found fewer bytes than it asked for.
    bool ranShort() const { return m_ranShort; }

    void close();

private:
    std::unique_ptr<ByteSource> m_source; // null once closed
    std::int64_t m_length = 0;
    std::int64_t m_position = 0;
    bool m_ranShort = false;
};

} // namespace qm
