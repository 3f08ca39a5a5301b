#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class ByteSource;

// The KEY V1 catalogue as the format defines it (chitin.key, a DLC's mod.key), every field unsigned.
// Header: "KEY ", "V1  ", then the counts and table offsets.
constexpr std::size_t kKeySignatureOffset = 0x00;
constexpr std::size_t kKeyVersionOffset = 0x04;
constexpr std::size_t kKeyArchiveCountOffset = 0x08;
constexpr std::size_t kKeyResourceCountOffset = 0x0c;
constexpr std::size_t kKeyArchiveTableOffsetOffset = 0x10;
constexpr std::size_t kKeyResourceTableOffsetOffset = 0x14;
constexpr std::size_t kKeyHeaderSize = 0x18;
// Archive entry: the archive's length, where its name lies and how long it is (the NUL counted), and the
// location bits (which CD or folder held it).
constexpr std::size_t kKeyArchiveEntrySize = 12;
constexpr std::size_t kKeyArchiveSizeOffset = 0x00;
constexpr std::size_t kKeyArchiveNameOffsetOffset = 0x04;
constexpr std::size_t kKeyArchiveNameLengthOffset = 0x08;
constexpr std::size_t kKeyArchiveLocationOffset = 0x0a;
// Resource entry: an 8-byte ResRef, the type and the locator.
constexpr std::size_t kKeyResourceEntrySize = 14;
constexpr std::size_t kKeyResRefOffset = 0x00;
constexpr std::size_t kKeyResourceTypeOffset = 0x08;
constexpr std::size_t kKeyResourceLocatorOffset = 0x0a;

// A locator's parts: the archive's index in the catalogue's table (bits 31-20), a tileset's index in the
// archive (bits 19-14) and a file's index in the archive (bits 13-0).
constexpr std::uint32_t locatorArchive(std::uint32_t locator) {
    return locator >> 20;
}
constexpr std::uint32_t locatorTileset(std::uint32_t locator) {
    return (locator >> 14) & 0x3f;
}
constexpr std::uint32_t locatorFile(std::uint32_t locator) {
    return locator & 0x3fff;
}

class KeyFile {
public:
    struct Archive {
        std::uint32_t size = 0;
        std::uint32_t nameOffset = 0;
        std::uint16_t nameLength = 0;
        std::uint16_t location = 0;
        std::string name; // the stored bytes up to the NUL or the stored length (Windows-1252)
    };
    struct Resource {
        std::string resRef; // the stored bytes up to the first NUL, letter case as stored
        std::uint16_t type = 0;
        std::uint32_t locator = 0;
        // A later entry of the same ResRef (ASCII letter case ignored) and type replaces this one.
        bool superseded = false;
    };

    // Reads a catalogue. Whatever the bytes hold, the result holds what could be read: a wrong signature
    // gives no entries, counts that the file cannot hold are cut to the whole entries it holds, a name
    // that runs past the end keeps the bytes there are; each such fault is one line of problems(). Only a
    // failure of the source itself is thrown (its FileError).
    static KeyFile read(ByteSource& source);

    const std::vector<Archive>& archives() const { return m_archives; }
    const std::vector<Resource>& resources() const { return m_resources; }
    // The header's counts as stored.
    std::uint32_t storedArchiveCount() const { return m_storedArchiveCount; }
    std::uint32_t storedResourceCount() const { return m_storedResourceCount; }
    const std::vector<std::string>& problems() const { return m_problems; }

private:
    std::vector<Archive> m_archives;
    std::vector<Resource> m_resources;
    std::uint32_t m_storedArchiveCount = 0;
    std::uint32_t m_storedResourceCount = 0;
    std::vector<std::string> m_problems;
};

// An archive name as catalogues store it, whatever its separators ("data\X.BIF", "data/X.BIF", a leading
// "\", the Mac releases' ":data:X.BIF"), as a path relative to the catalogue's folder with "/" between
// components. Empty, "." and ".." components are dropped, so the path never leaves that folder.
std::string archiveRelativePath(std::string_view storedName);
// The same name's last component: "X.BIF".
std::string archiveFileName(std::string_view storedName);

} // namespace qm
