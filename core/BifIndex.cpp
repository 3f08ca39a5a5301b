#include "BifIndex.h"

#include "ByteSource.h"
#include "Endian.h"
#include "KeyFile.h"

#include <algorithm>
#include <string_view>

namespace qm {

namespace {

// Up to `count` whole entries of `entrySize` bytes from `offset`, no more than the file holds; reports a
// count that the file cannot hold.
std::vector<std::byte> readTable(ByteSource& source, std::uint64_t length, std::uint64_t offset,
                                 std::uint64_t count, std::uint64_t entrySize, const char* what,
                                 std::vector<std::string>& problems) {
    const std::uint64_t fit = offset < length ? std::min(count, (length - offset) / entrySize) : 0;
    if (fit < count)
        problems.push_back("the header counts " + std::to_string(count) + " " + what + ", the file holds " +
                           std::to_string(fit));
    std::vector<std::byte> bytes(static_cast<std::size_t>(fit * entrySize));
    const std::size_t got = bytes.empty() ? 0 : source.readAt(static_cast<std::int64_t>(offset), bytes);
    bytes.resize(got - got % entrySize);
    return bytes;
}

} // namespace

BifIndex BifIndex::read(ByteSource& source) {
    BifIndex bif;
    const auto length = static_cast<std::uint64_t>(std::max<std::int64_t>(source.length(), 0));
    std::byte header[kBifHeaderSize]{};
    const std::size_t got = source.readAt(0, header);
    const std::string_view magic(reinterpret_cast<const char*>(header), got);
    if (magic.starts_with("BIFC") || magic.starts_with("BIF V1.0")) {
        bif.m_problems.push_back("a compressed archive (" + std::string(magic.substr(0, 4)) +
                                 "), which is not read");
        return bif;
    }
    if (got < kBifHeaderSize || !magic.starts_with("BIFFV1  ")) {
        bif.m_problems.push_back(got < kBifHeaderSize ? "shorter than an archive's header"
                                                      : "not a BIFF V1 archive");
        return bif;
    }
    const std::uint32_t fileCount = endian::loadU32(header, kBifFileCountOffset);
    const std::uint32_t tilesetCount = endian::loadU32(header, kBifTilesetCountOffset);
    const std::uint32_t fileTable = endian::loadU32(header, kBifFileTableOffsetOffset);

    const std::vector<std::byte> files =
        readTable(source, length, fileTable, fileCount, kBifFileEntrySize, "files", bif.m_problems);
    bif.m_files.reserve(files.size() / kBifFileEntrySize);
    for (std::size_t at = 0; at < files.size(); at += kBifFileEntrySize) {
        const std::span<const std::byte> entry = std::span(files).subspan(at, kBifFileEntrySize);
        File file;
        file.locator = endian::loadU32(entry, kBifFileLocatorOffset);
        file.offset = endian::loadU32(entry, kBifFileDataOffsetOffset);
        file.size = endian::loadU32(entry, kBifFileDataSizeOffset);
        file.type = endian::loadU16(entry, kBifFileTypeOffset);
        bif.m_fileByIndex.try_emplace(locatorFile(file.locator), bif.m_files.size());
        bif.m_files.push_back(file);
    }

    // The tileset table lies right behind the file table as the header counts it.
    const std::uint64_t tilesetTable =
        std::uint64_t{fileTable} + std::uint64_t{fileCount} * kBifFileEntrySize;
    const std::vector<std::byte> tilesets = readTable(source, length, tilesetTable, tilesetCount,
                                                      kBifTilesetEntrySize, "tilesets", bif.m_problems);
    bif.m_tilesets.reserve(tilesets.size() / kBifTilesetEntrySize);
    for (std::size_t at = 0; at < tilesets.size(); at += kBifTilesetEntrySize) {
        const std::span<const std::byte> entry = std::span(tilesets).subspan(at, kBifTilesetEntrySize);
        Tileset tileset;
        tileset.locator = endian::loadU32(entry, kBifTilesetLocatorOffset);
        tileset.offset = endian::loadU32(entry, kBifTilesetDataOffsetOffset);
        tileset.tileCount = endian::loadU32(entry, kBifTilesetTileCountOffset);
        tileset.tileSize = endian::loadU32(entry, kBifTilesetTileSizeOffset);
        tileset.type = endian::loadU16(entry, kBifTilesetTypeOffset);
        bif.m_tilesetByIndex.try_emplace(locatorTileset(tileset.locator), bif.m_tilesets.size());
        bif.m_tilesets.push_back(tileset);
    }
    return bif;
}

const BifIndex::File* BifIndex::file(std::uint32_t locator) const {
    const auto found = m_fileByIndex.find(locatorFile(locator));
    return found == m_fileByIndex.end() ? nullptr : &m_files[found->second];
}

const BifIndex::Tileset* BifIndex::tileset(std::uint32_t locator) const {
    const auto found = m_tilesetByIndex.find(locatorTileset(locator));
    return found == m_tilesetByIndex.end() ? nullptr : &m_tilesets[found->second];
}

} // namespace qm
