#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Writes raw bytes to a new or emptied file, or appends to one. Every failure is a numbered FileError
// (61 when the disk or a size limit is full), and close() reports a failed final write, so nothing is
// ever reported written that was not.
class ByteWriter {
public:
    // CreateNew: the name must be free; it is created with O_CREAT | O_EXCL (CREATE_NEW on Windows), so a
    // link planted at it meanwhile (even a dangling one) fails (58) instead of being followed.
    enum class Mode { Truncate, Append, CreateNew };

    ByteWriter(const std::filesystem::path& hostPath, Mode mode);
    ~ByteWriter();
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    void write(std::span<const std::byte> bytes);
    void write(std::string_view text);
    // Hands what was written so far to the system, in one write.
    void flush();
    // Where the kernel may write next: flushes what was written so far and returns the file's descriptor.
    // Writing through it moves the file's end, which write() then follows.
    int flushedDescriptor();
    // The path as messages show it.
    std::string name() const;
    // Flushes and closes; throws when either fails. The destructor writes what is pending and closes
    // quietly.
    void close();

private:
    static constexpr std::size_t kBufferSize = 1 << 16;

    void writeOut(const char* data, std::size_t size);

    int m_fd = -1;
    // Grows with the first small writes: most outputs are copied in the kernel and never need one.
    std::vector<char> m_buffer;
    std::filesystem::path::string_type m_path;
};

} // namespace qm
