#include "StringTable.h"

#include "ByteReader.h"
#include "ByteSource.h"
#include "Endian.h"
#include "FileError.h"
#include "HostPath.h"

#include <algorithm>
#include <span>

namespace qm {

namespace {

// Header: StringCount at 0x0a, StringDataOffset right behind it at 0x0e. Entries of 26 bytes from 0x12,
// each with its StringLength at entry offset 22.
constexpr std::int64_t kStringCountOffset = 0x0a;
constexpr std::int64_t kEntryTableOffset = 0x12;
constexpr std::int64_t kEntrySize = 26;
constexpr std::int64_t kStringLengthField = 22;
constexpr std::size_t kEntryBytes = kEntrySize;
constexpr std::int64_t kHeaderSize = kEntryTableOffset;
// Entries per block: a running sum is kept at the start of each.
constexpr std::int64_t kBlock = 1024;

} // namespace

StringTableFile locateStringTable(const std::string& BGpath, const std::string& lang) {
    HostPaths paths;
    bool found = false;
    std::filesystem::path root = paths.map(BGpath + "Dialog.tlk", &found);
    if (found)
        return {std::move(root), TextEncoding::Windows1252};
    if (!lang.empty()) {
        std::filesystem::path edition = paths.map(BGpath + "lang\\" + lang + "\\dialog.tlk", &found);
        if (found)
            return {std::move(edition), TextEncoding::Utf8};
    }
    return {};
}

StringTable::StringTable(const std::string& BGpath, const std::string& lang) {
    StringTableFile file = locateStringTable(BGpath, lang);
    if (file.path.empty())
        return; // no string table: no names, and nothing is created
    m_encoding = file.encoding;
    try {
        m_tlk = std::make_unique<ByteReader>(file.path, ByteReader::kRandomAccessBuffer);
    } catch (const FileError&) {
        return;
    }
    readHeader();
}

StringTable::StringTable(std::unique_ptr<ByteSource> table, TextEncoding encoding)
    : m_tlk(std::make_unique<ByteReader>(std::move(table))), m_encoding(encoding) {
    readHeader();
}

void StringTable::readHeader() {
    m_tlk->seek(kStringCountOffset);
    const auto count = static_cast<std::uint32_t>(m_tlk->readI32());
    const std::int32_t dataOffset = m_tlk->readI32();
    if (m_tlk->ranShort()) {
        m_tlk.reset();
        return;
    }
    // A count beyond the whole entries the file holds names strings that are not there.
    m_count =
        std::min<std::int64_t>(count, std::max<std::int64_t>(m_tlk->length() - kHeaderSize, 0) / kEntrySize);
    m_blockStarts.push_back(dataOffset);
}

StringTable::~StringTable() = default;

bool StringTable::readBlock(std::int64_t b) {
    if (b == m_blockIndex)
        return true;
    const std::int64_t first = b * kBlock;
    const auto count = static_cast<std::size_t>(std::min(kBlock, m_count - first));
    std::vector<std::byte> raw((count - 1) * kEntryBytes + 2);
    m_tlk->seek(kEntryTableOffset + kStringLengthField + kEntrySize * first);
    if (m_tlk->read(raw) != raw.size()) {
        m_blockIndex = -1;
        return false;
    }
    m_block.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        m_block[i] = endian::loadI16(raw, i * kEntryBytes);
    m_blockIndex = b;
    return true;
}

std::string StringTable::get(std::int32_t n) {
    const std::int64_t wanted = n > 0 ? n : 0;
    if (!m_tlk || wanted >= m_count)
        return {};
    // The sums run in order of the entries, low half of each StringLength only, from block to block up to
    // the one that holds entry n.
    const std::int64_t b = wanted / kBlock;
    while (static_cast<std::int64_t>(m_blockStarts.size()) <= b) {
        if (!readBlock(static_cast<std::int64_t>(m_blockStarts.size()) - 1))
            return {};
        std::int64_t end = m_blockStarts.back();
        for (const std::int16_t length : m_block)
            end += length;
        m_blockStarts.push_back(end);
    }
    if (!readBlock(b))
        return {};
    std::int64_t start = m_blockStarts[static_cast<std::size_t>(b)];
    const auto at = static_cast<std::size_t>(wanted - b * kBlock);
    for (std::size_t i = 0; i < at; ++i)
        start += m_block[i];
    const std::int16_t length = m_block[at];
    if (length <= 0 || start < 0 || start + length > m_tlk->length())
        return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    m_tlk->seek(start);
    if (m_tlk->read(std::as_writable_bytes(std::span(text.data(), text.size()))) != text.size())
        return {};
    return text;
}

} // namespace qm
