#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class ByteSource;

// A zip file read with libzip, from a host file or from memory. Members are only read, never written out
// under their own names: a member's name is data, matched against the names a catalogue asks for.
// Failures are FileErrors naming the zip (75 for a damaged zip or member, 53 for a missing file).
class ZipArchive {
public:
    struct Member {
        std::string name;       // as libzip decodes it (UTF-8)
        std::uint64_t size = 0; // declared uncompressed size
        std::uint64_t compressedSize = 0;
        std::uint16_t method = 0; // 0 stored, 8 deflated, ...
        bool encrypted = false;
    };

    // A deflated member is inflated into memory, so its declared size must stay below this.
    static constexpr std::uint64_t kDefaultInflateLimit = std::uint64_t{256} << 20;

    explicit ZipArchive(const std::filesystem::path& hostPath,
                        std::uint64_t inflateLimit = kDefaultInflateLimit);
    ZipArchive(std::string bytes, std::string name, std::uint64_t inflateLimit = kDefaultInflateLimit);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const std::string& name() const;
    const std::vector<Member>& members() const;
    // The member of that name, ASCII letter case ignored and "\" taken for "/"; the first when several match.
    std::optional<std::size_t> find(std::string_view memberName) const;

    // The member's bytes as a source that keeps this zip's data alive. A stored member is read in place at
    // any offset; a deflated one is inflated whole first, and fails unless it inflates to exactly its
    // declared size. An encrypted member, another method or a stored member whose compressed and declared
    // sizes differ fail.
    std::unique_ptr<ByteSource> open(std::size_t member) const;

private:
    void readMembers();

    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::vector<Member> m_members;
    std::uint64_t m_inflateLimit;
};

} // namespace qm
