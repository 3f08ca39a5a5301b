#include "GameBuilder.h"

#include <fstream>
#include <stdexcept>

namespace qm::build {

namespace {

constexpr std::size_t kBifHeaderSize = 20;
constexpr std::size_t kBifEntrySize = 16;
constexpr std::size_t kBifTilesetEntrySize = 20;
constexpr std::size_t kKeyHeaderSize = 24;
constexpr std::size_t kKeyArchiveEntrySize = 12;
constexpr std::size_t kTlkHeaderSize = 18;
constexpr std::size_t kTlkEntrySize = 26;

void appendU16(std::string& out, std::uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void appendU32(std::string& out, std::uint32_t value) {
    appendU16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    appendU16(out, static_cast<std::uint16_t>(value >> 16));
}

void appendI16(std::string& out, std::int16_t value) {
    appendU16(out, static_cast<std::uint16_t>(value));
}
void appendI32(std::string& out, std::int32_t value) {
    appendU32(out, static_cast<std::uint32_t>(value));
}

// A ResRef field is always 8 bytes: the given ones, then zeros.
void appendResRef(std::string& out, const std::string& resRef) {
    if (resRef.size() > 8)
        throw std::invalid_argument("a ResRef holds at most 8 bytes");
    out += resRef;
    out.append(8 - resRef.size(), '\0');
}

} // namespace

void storeU16(std::string& bytes, std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<char>(value & 0xFF);
    bytes.at(offset + 1) = static_cast<char>(value >> 8);
}

void storeU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    storeU16(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
    storeU16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

BifFile& BifBuilder::add(std::int16_t type, std::string data) {
    const auto index = static_cast<std::int16_t>(static_cast<std::uint16_t>(m_files.size() & 0xFFFF));
    return add(index, 0, type, std::move(data));
}

BifFile& BifBuilder::add(std::int16_t locatorLow, std::int16_t locatorHigh, std::int16_t type,
                         std::string data) {
    BifFile& file = m_files.emplace_back();
    file.locatorLow = locatorLow;
    file.locatorHigh = locatorHigh;
    file.type = type;
    file.data = std::move(data);
    return file;
}

BifTileset& BifBuilder::addTileset(std::uint32_t locator, std::int32_t tileCount, std::int32_t tileSize,
                                   std::string data) {
    BifTileset& tileset = m_tilesets.emplace_back();
    tileset.locator = locator;
    tileset.tileCount = tileCount;
    tileset.tileSize = tileSize;
    tileset.data = std::move(data);
    return tileset;
}

std::string BifBuilder::bytes() const {
    std::string out = "BIFFV1  ";
    appendI32(out, m_fileEntryCount.value_or(static_cast<std::int32_t>(m_files.size())));
    appendU32(out, static_cast<std::uint32_t>(m_tilesets.size()));
    appendU32(out, static_cast<std::uint32_t>(kBifHeaderSize));

    std::size_t dataAt =
        kBifHeaderSize + kBifEntrySize * m_files.size() + kBifTilesetEntrySize * m_tilesets.size();
    for (const BifFile& file : m_files) {
        appendI16(out, file.locatorLow);
        appendI16(out, file.locatorHigh);
        appendI32(out, file.dataOffset.value_or(static_cast<std::int32_t>(dataAt)));
        appendI32(out, file.dataSize.value_or(static_cast<std::int32_t>(file.data.size())));
        appendI16(out, file.type);
        appendU16(out, 0);
        dataAt += file.data.size();
    }
    for (const BifTileset& tileset : m_tilesets) {
        appendU32(out, tileset.locator);
        appendU32(out, static_cast<std::uint32_t>(dataAt));
        appendI32(out, tileset.tileCount);
        appendI32(out, tileset.tileSize);
        appendI16(out, tileset.type);
        appendU16(out, 0);
        dataAt += tileset.data.size();
    }
    for (const BifFile& file : m_files)
        out += file.data;
    for (const BifTileset& tileset : m_tilesets)
        out += tileset.data;
    return out;
}

KeyArchive& KeyBuilder::addArchive(std::string name, std::uint32_t fileLength, std::uint16_t location) {
    KeyArchive& archive = m_archives.emplace_back();
    archive.name = std::move(name);
    archive.fileLength = fileLength;
    archive.location = location;
    return archive;
}

KeyArchive& KeyBuilder::addRawArchive(std::uint32_t nameOffset, std::uint16_t nameLength,
                                      std::uint32_t fileLength, std::uint16_t location) {
    KeyArchive& archive = m_archives.emplace_back();
    archive.fileLength = fileLength;
    archive.location = location;
    archive.storesName = false;
    archive.nameOffset = nameOffset;
    archive.nameLength = nameLength;
    return archive;
}

KeyResource& KeyBuilder::addResource(std::string resRef, std::int16_t type, std::int16_t locatorLow,
                                     std::int16_t locatorHigh) {
    if (resRef.size() > 8)
        throw std::invalid_argument("a ResRef holds at most 8 bytes");
    KeyResource& resource = m_resources.emplace_back();
    resource.resRef = std::move(resRef);
    resource.type = type;
    resource.locatorLow = locatorLow;
    resource.locatorHigh = locatorHigh;
    return resource;
}

std::string KeyBuilder::bytes() const {
    const std::size_t tableEnd = kKeyHeaderSize + kKeyArchiveEntrySize * m_archives.size();
    const std::size_t namesAt = m_namesOffset.value_or(static_cast<std::uint32_t>(tableEnd));
    if (namesAt < tableEnd)
        throw std::invalid_argument("the archive names would overlap the archive table");

    std::string names;
    std::string table;
    for (const KeyArchive& archive : m_archives) {
        std::uint32_t nameOffset = 0;
        std::uint16_t nameLength = 0;
        if (archive.storesName) {
            if (archive.name.size() + 1 > 0xFFFF)
                throw std::invalid_argument("an archive name is too long for NameLength");
            nameOffset = static_cast<std::uint32_t>(namesAt + names.size());
            nameLength = static_cast<std::uint16_t>(archive.name.size() + 1);
            names += archive.name;
            names += '\0';
        }
        appendU32(table, archive.fileLength);
        appendU32(table, archive.nameOffset.value_or(nameOffset));
        appendU16(table, archive.nameLength.value_or(nameLength));
        appendU16(table, archive.location);
    }

    const std::size_t resourcesAt = namesAt + names.size();
    std::string out = "KEY V1  ";
    appendU32(out, static_cast<std::uint32_t>(m_archives.size()));
    appendU32(out, static_cast<std::uint32_t>(m_resources.size()));
    appendU32(out, static_cast<std::uint32_t>(kKeyHeaderSize));
    appendI32(out, m_resourceTableOffset.value_or(static_cast<std::int32_t>(resourcesAt)));
    out += table;
    out.append(namesAt - tableEnd, '\0');
    out += names;
    for (const KeyResource& resource : m_resources) {
        appendResRef(out, resource.resRef);
        appendI16(out, resource.type);
        appendI16(out, resource.locatorLow);
        appendI16(out, resource.locatorHigh);
    }
    return out;
}

int TlkBuilder::add(std::string text) {
    TlkEntry& added = m_entries.emplace_back();
    added.text = std::move(text);
    return static_cast<int>(m_entries.size() - 1);
}

std::string TlkBuilder::bytes() const {
    const std::size_t stringsAt = kTlkHeaderSize + kTlkEntrySize * m_entries.size();
    std::string out = "TLK V1  ";
    appendU16(out, m_languageId);
    appendU32(out, static_cast<std::uint32_t>(m_entries.size()));
    appendU32(out, static_cast<std::uint32_t>(stringsAt));

    std::uint32_t relative = 0;
    for (const TlkEntry& e : m_entries) {
        const std::uint16_t flags = (e.text.empty() ? 0 : 1) | (e.soundResRef.empty() ? 0 : 2);
        appendU16(out, e.flags.value_or(flags));
        appendResRef(out, e.soundResRef);
        appendU32(out, 0);
        appendU32(out, 0);
        appendU32(out, relative);
        appendU32(out, e.stringLength.value_or(static_cast<std::uint32_t>(e.text.size())));
        relative += static_cast<std::uint32_t>(e.text.size());
    }
    for (const TlkEntry& e : m_entries)
        out += e.text;
    return out;
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace qm::build
