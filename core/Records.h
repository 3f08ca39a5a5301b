#pragma once

#include "ByteReader.h"
#include "KeyFile.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// KEY catalogue and BIF archive records, read field by field at the format's documented offsets. No
// signature, version or count is trusted for the table offsets: the KEY archive table starts at 0x18 and
// the BIF file table at 0x14, right behind their headers. Every 16-bit field is signed, every 32-bit
// field too.

// The KEY header's fields: KeyFile.h.
// KEY archive entry k at 0x18 + 12k: FileLength, then NameOffset at 4 and NameLength at 8.
constexpr std::int64_t kArchiveTableOffset = 0x18;
constexpr std::int64_t kArchiveNameOffsetField = 4;
constexpr std::int64_t kArchiveEntrySize = 12;
constexpr std::int64_t kResourceEntrySize = 14;
// Archive entries 0 to 140 are read whatever the header says.
constexpr int kArchiveEntriesRead = 141;
// BIF header: FileEntryCount at 0x08; file entry i at 0x14 + 16i, its DataOffset 4 bytes in and DataSize
// 8 bytes in.
constexpr std::int64_t kFileEntryCountOffset = 0x08;
constexpr std::int64_t kFileTableOffset = 0x14;
constexpr std::int64_t kFileEntrySize = 16;
constexpr std::int64_t kDataOffsetField = 4;

// A resource entry as stored: the name is made only for the entries that name a file.
struct KeyResourceRecord {
    std::array<std::uint8_t, 8> resRef{};
    std::int16_t resourceType = 0;
    std::int16_t locatorLow = 0;
    std::int16_t locatorHigh = 0;
};

struct BifFileEntry {
    std::int16_t locatorLow = 0;
    std::int16_t locatorHigh = 0;
    std::int32_t dataOffset = 0;
    std::int32_t dataSize = 0;
    std::int16_t resourceType = 0;
};

struct DataBounds {
    std::int32_t dataOffset = 0;
    std::int32_t dataSize = 0;
};

// The ResRef name rule: every non-zero byte in order, zero bytes skipped wherever they stand.
std::string resRefName(std::span<const std::uint8_t, 8> resRef);

// Reads ResourceTableOffset and leaves the reader at the first resource entry.
std::int32_t seekResourceTable(ByteReader& key);
// The names of archive entries 0 to 140 as the main window lists them: the stored name without its first
// five characters ("data\"), a then leading "s\" (of "movies\") and its terminator; empty where an entry
// holds no name the 16-bit position can reach. Every byte a name may occupy lies in the file's first
// 64 KiB, which is read as one block and kept; the names are views into it.
class ArchiveNameBlock {
public:
    explicit ArchiveNameBlock(ByteReader& key);
    ArchiveNameBlock(const ArchiveNameBlock&) = delete;
    ArchiveNameBlock& operator=(const ArchiveNameBlock&) = delete;
    std::string_view name(int k) const { return m_names[static_cast<std::size_t>(k)]; }

private:
    std::vector<std::byte> m_head;
    std::array<std::string_view, kArchiveEntriesRead> m_names{};
};
// Every whole resource entry from ResourceTableOffset on, to the end of the catalogue but no further than
// the header's ResourceCount (read unsigned) and kMaxResourceTableBytes: no real catalogue comes near
// that, and a sparse or hostile file is not read through. Throws like seekResourceTable.
constexpr std::int64_t kMaxResourceTableBytes = std::int64_t{64} << 20;
std::vector<KeyResourceRecord> readResourceTable(ByteReader& key);

std::int32_t readFileEntryCount(ByteReader& bif);
// The file entry at the reader's current position (14 of its 16 bytes).
BifFileEntry readFileEntry(ByteReader& bif);
// The same from the entry's first 14 bytes in memory.
BifFileEntry fileEntryFrom(std::span<const std::byte> raw);

// The file table read in blocks of 4096 entries, for walks that take entry after entry: one read per block
// instead of a read per field.
class FileTableBlocks {
public:
    explicit FileTableBlocks(ByteReader& bif) : m_bif(bif) {}
    // The first `need` bytes (up to 16) of file entry i (0-based); empty where the archive ends sooner.
    std::span<const std::byte> entry(std::int64_t i, std::size_t need);

private:
    static constexpr std::int64_t kBlockEntries = 4096;

    ByteReader& m_bif;
    std::vector<std::byte> m_block;
    std::int64_t m_first = -1; // the entry the block starts with; -1 before the first read
    std::size_t m_held = 0;    // bytes of the block read
};
// DataOffset and DataSize of the file entry at 0-based index i (offset 0x18 + 16i).
DataBounds readDataBounds(ByteReader& bif, std::int64_t index);

} // namespace qm
