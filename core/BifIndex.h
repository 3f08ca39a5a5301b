#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace qm {

class ByteSource;

// The tables of a BIFF V1 archive, every field unsigned. Header: "BIFF", "V1  ", then the counts and where
// the file table starts; the tileset table follows the file table.
constexpr std::size_t kBifSignatureOffset = 0x00;
constexpr std::size_t kBifVersionOffset = 0x04;
constexpr std::size_t kBifFileCountOffset = 0x08;
constexpr std::size_t kBifTilesetCountOffset = 0x0c;
constexpr std::size_t kBifFileTableOffsetOffset = 0x10;
constexpr std::size_t kBifHeaderSize = 0x14;
// File entry: locator, where the data lie and how long they are, type, two unknown bytes.
constexpr std::size_t kBifFileEntrySize = 16;
constexpr std::size_t kBifFileLocatorOffset = 0x00;
constexpr std::size_t kBifFileDataOffsetOffset = 0x04;
constexpr std::size_t kBifFileDataSizeOffset = 0x08;
constexpr std::size_t kBifFileTypeOffset = 0x0c;
// Tileset entry: locator, data offset, tile count and tile size (the data are count x size bytes), type.
constexpr std::size_t kBifTilesetEntrySize = 20;
constexpr std::size_t kBifTilesetLocatorOffset = 0x00;
constexpr std::size_t kBifTilesetDataOffsetOffset = 0x04;
constexpr std::size_t kBifTilesetTileCountOffset = 0x08;
constexpr std::size_t kBifTilesetTileSizeOffset = 0x0c;
constexpr std::size_t kBifTilesetTypeOffset = 0x10;

class BifIndex {
public:
    struct File {
        std::uint32_t locator = 0;
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
        std::uint16_t type = 0;
    };
    struct Tileset {
        std::uint32_t locator = 0;
        std::uint32_t offset = 0;
        std::uint32_t tileCount = 0;
        std::uint32_t tileSize = 0;
        std::uint16_t type = 0;
        std::uint64_t size() const { return std::uint64_t{tileCount} * tileSize; }
    };

    // Reads the tables. Anything but an uncompressed BIFF V1 archive (a compressed BIFC or "BIF V1.0"
    // among them) gives empty tables; counts that the file cannot hold are cut to its whole entries. Each
    // fault is one line of problems(); only a failure of the source itself is thrown.
    static BifIndex read(ByteSource& source);

    // The entry that a catalogue's locator names: the file entry whose own locator has the same bits
    // 13-0, the tileset entry whose own locator has the same bits 19-14; the first such entry when several
    // have them; null when none has.
    const File* file(std::uint32_t locator) const;
    const Tileset* tileset(std::uint32_t locator) const;

    const std::vector<File>& files() const { return m_files; }
    const std::vector<Tileset>& tilesets() const { return m_tilesets; }
    const std::vector<std::string>& problems() const { return m_problems; }

private:
    std::vector<File> m_files;
    std::vector<Tileset> m_tilesets;
    std::unordered_map<std::uint32_t, std::size_t> m_fileByIndex;
    std::unordered_map<std::uint32_t, std::size_t> m_tilesetByIndex;
    std::vector<std::string> m_problems;
};

} // namespace qm
