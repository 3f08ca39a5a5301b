#include "KeyFile.h"

#include "ByteSource.h"
#include "Endian.h"
#include "Text.h"

#include <algorithm>
#include <unordered_map>

namespace qm {

namespace {

// Up to `size` bytes from `offset`, fewer where the source ends; the caller has bounded `size` by the
// source's length, so nothing is allocated beyond what the file holds.
std::vector<std::byte> readBlock(ByteSource& source, std::uint64_t offset, std::uint64_t size) {
    std::vector<std::byte> bytes(static_cast<std::size_t>(size));
    const std::size_t got = bytes.empty() ? 0 : source.readAt(static_cast<std::int64_t>(offset), bytes);
    bytes.resize(got);
    return bytes;
}

// Whole entries of `entrySize` bytes that fit between `offset` and the end of the file, at most `count`.
std::uint64_t entriesThatFit(std::uint64_t length, std::uint64_t offset, std::uint64_t count,
                             std::uint64_t entrySize) {
    if (offset >= length)
        return 0;
    return std::min(count, (length - offset) / entrySize);
}

std::string cutAtNul(std::span<const std::byte> bytes) {
    std::string text;
    for (std::byte b : bytes) {
        if (b == std::byte{0})
            break;
        text += static_cast<char>(b);
    }
    return text;
}

} // namespace

KeyFile KeyFile::read(ByteSource& source) {
    KeyFile key;
    const auto length = static_cast<std::uint64_t>(std::max<std::int64_t>(source.length(), 0));
    const std::vector<std::byte> header =
        readBlock(source, 0, std::min<std::uint64_t>(length, kKeyHeaderSize));
    const std::string_view magic(reinterpret_cast<const char*>(header.data()), header.size());
    if (header.size() < kKeyHeaderSize || !magic.starts_with("KEY V1  ")) {
        key.m_problems.push_back(header.size() < kKeyHeaderSize ? "shorter than a catalogue's header"
                                                                : "not a KEY V1 catalogue");
        return key;
    }
    key.m_storedArchiveCount = endian::loadU32(header, kKeyArchiveCountOffset);
    key.m_storedResourceCount = endian::loadU32(header, kKeyResourceCountOffset);
    const std::uint32_t archiveTable = endian::loadU32(header, kKeyArchiveTableOffsetOffset);
    const std::uint32_t resourceTable = endian::loadU32(header, kKeyResourceTableOffsetOffset);

    const std::uint64_t archiveCount =
        entriesThatFit(length, archiveTable, key.m_storedArchiveCount, kKeyArchiveEntrySize);
    if (archiveCount < key.m_storedArchiveCount)
        key.m_problems.push_back("the header counts " + std::to_string(key.m_storedArchiveCount) +
                                 " archives, the file holds " + std::to_string(archiveCount));
    const std::vector<std::byte> archiveBytes =
        readBlock(source, archiveTable, archiveCount * kKeyArchiveEntrySize);
    const std::size_t archivesRead = archiveBytes.size() / kKeyArchiveEntrySize;
    key.m_archives.reserve(archivesRead);
    for (std::size_t k = 0; k < archivesRead; ++k) {
        const std::span<const std::byte> entry =
            std::span(archiveBytes).subspan(k * kKeyArchiveEntrySize, kKeyArchiveEntrySize);
        Archive archive;
        archive.size = endian::loadU32(entry, kKeyArchiveSizeOffset);
        archive.nameOffset = endian::loadU32(entry, kKeyArchiveNameOffsetOffset);
        archive.nameLength = endian::loadU16(entry, kKeyArchiveNameLengthOffset);
        archive.location = endian::loadU16(entry, kKeyArchiveLocationOffset);
        const std::uint64_t available = archive.nameOffset < length ? length - archive.nameOffset : 0;
        const std::vector<std::byte> name =
            readBlock(source, archive.nameOffset, std::min<std::uint64_t>(archive.nameLength, available));
        archive.name = cutAtNul(name);
        if (archive.name.size() == name.size() && name.size() < archive.nameLength)
            key.m_problems.push_back("the name of archive " + std::to_string(k) + " runs past the end");
        key.m_archives.push_back(std::move(archive));
    }

    const std::uint64_t resourceCount =
        entriesThatFit(length, resourceTable, key.m_storedResourceCount, kKeyResourceEntrySize);
    if (resourceCount < key.m_storedResourceCount)
        key.m_problems.push_back("the header counts " + std::to_string(key.m_storedResourceCount) +
                                 " resources, the file holds " + std::to_string(resourceCount));
    const std::vector<std::byte> resourceBytes =
        readBlock(source, resourceTable, resourceCount * kKeyResourceEntrySize);
    const std::size_t resourcesRead = resourceBytes.size() / kKeyResourceEntrySize;
    key.m_resources.reserve(resourcesRead);
    // The latest entry seen of each ResRef and type, so an earlier one is marked when a later one comes.
    std::unordered_map<std::string, std::size_t> latest;
    latest.reserve(resourcesRead);
    for (std::size_t k = 0; k < resourcesRead; ++k) {
        const std::span<const std::byte> entry =
            std::span(resourceBytes).subspan(k * kKeyResourceEntrySize, kKeyResourceEntrySize);
        Resource resource;
        resource.resRef = cutAtNul(entry.subspan(kKeyResRefOffset, 8));
        resource.type = endian::loadU16(entry, kKeyResourceTypeOffset);
        resource.locator = endian::loadU32(entry, kKeyResourceLocatorOffset);
        std::string identity = asciiUpper(resource.resRef);
        identity += '\0';
        identity += std::to_string(resource.type);
        const auto [at, inserted] = latest.try_emplace(std::move(identity), k);
        if (!inserted) {
            key.m_resources[at->second].superseded = true;
            at->second = k;
        }
        key.m_resources.push_back(std::move(resource));
    }
    return key;
}

std::string archiveRelativePath(std::string_view storedName) {
    std::string path;
    std::size_t from = 0;
    while (from <= storedName.size()) {
        std::size_t to = storedName.find_first_of("\\/:", from);
        if (to == std::string_view::npos)
            to = storedName.size();
        const std::string_view component = storedName.substr(from, to - from);
        from = to + 1;
        if (component.empty() || component == "." || component == "..")
            continue;
        if (!path.empty())
            path += '/';
        path += component;
    }
    return path;
}

std::string archiveFileName(std::string_view storedName) {
    const std::string path = archiveRelativePath(storedName);
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace qm
