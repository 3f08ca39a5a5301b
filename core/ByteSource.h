#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace qm {

// Where a ByteReader's bytes come from: a host file or a block of memory, so that every reader serves
// files, tests and fuzzers alike.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::int64_t length() const = 0;
    // Reads up to out.size() bytes from the 0-based offset; returns how many there were. A failure of the
    // medium is thrown as a numbered FileError.
    virtual std::size_t readAt(std::int64_t offset, std::span<std::byte> out) = 0;
    // What messages call it: the host path, or a name given to memory.
    virtual std::string name() const = 0;
    // The open file behind a host file source, for copies the kernel makes; -1 for anything else.
    virtual int fileDescriptor() const { return -1; }
};

// A host file, read through a buffer of `bufferSize` bytes; opening fails as openHostFile does, and a
// folder is 75.
std::unique_ptr<ByteSource> openFileSource(const std::filesystem::path& hostPath, std::size_t bufferSize);

// Bytes held in memory: a copy of its own, bytes shared with other sources (a walk opens one archive
// twice), or bytes that the caller keeps alive for as long as the source reads them.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string bytes, std::string name = "(memory)")
        : MemorySource(std::make_shared<const std::string>(std::move(bytes)), std::move(name)) {}
    MemorySource(std::shared_ptr<const std::string> bytes, std::string name)
        : m_owner(std::move(bytes)), m_view(std::as_bytes(std::span(m_owner->data(), m_owner->size()))),
          m_name(std::move(name)) {}
    MemorySource(std::span<const std::byte> borrowed, std::string name)
        : m_view(borrowed), m_name(std::move(name)) {}
    std::int64_t length() const override { return static_cast<std::int64_t>(m_view.size()); }
    std::size_t readAt(std::int64_t offset, std::span<std::byte> out) override;
    std::string name() const override { return m_name; }

private:
    std::shared_ptr<const std::string> m_owner; // null for borrowed bytes
    std::span<const std::byte> m_view;
    std::string m_name;
};

} // namespace qm
