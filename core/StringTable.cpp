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

// Header: StringCount at offset 10 (position 11), StringDataOffset at offset 14 (position 15). Entries of 26
// bytes from offset 18, each with its StringLength at entry offset 22.
constexpr std::int64_t kStringCountPosition = 11;
constexpr std::int64_t kStringDataOffsetPosition = 15;
constexpr std::int64_t kEntryTablePosition = 19;
constexpr std::int64_t kEntrySize = 26;
constexpr std::int64_t kStringLengthField = 22;
constexpr std::size_t kEntryBytes = kEntrySize;
constexpr std::size_t kEntriesPerRead = 1024;

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
    m_tlk->seek(kStringCountPosition);
    const auto count = static_cast<std::uint32_t>(m_tlk->readI32());
    const std::int32_t dataOffset = m_tlk->readI32();
    if (m_tlk->ranShort()) {
        m_tlk.reset();
        return;
    }
    m_count = count;
    m_starts.push_back(dataOffset);
}

StringTable::~StringTable() = default;

std::string StringTable::get(std::int32_t n) {
    const std::int64_t wanted = n > 0 ? n : 0;
    if (!m_tlk || wanted >= m_count)
        return {};
    const auto k = static_cast<std::size_t>(wanted);
    // Entry k's StringLength, low half only; the sums run in order of the entries. The fields up to entry k
    // are read in blocks; an entry whose field the file cuts off ends the table.
    std::vector<std::byte> block;
    if (m_lengths.size() <= k && !m_truncated) {
        // No more entries than the file holds fields for, however large k is.
        const std::int64_t firstField = kEntryTablePosition - 1 + kStringLengthField;
        const auto held = static_cast<std::size_t>(
            std::max<std::int64_t>((m_tlk->length() - firstField - 2) / kEntrySize + 1, 0));
        m_lengths.reserve(std::min(k + 1, held));
        m_starts.reserve(std::min(k + 1, held) + 1);
    }
    while (m_lengths.size() <= k && !m_truncated) {
        const std::size_t first = m_lengths.size();
        const std::size_t count = std::min<std::size_t>(k + 1 - first, kEntriesPerRead);
        block.assign((count - 1) * kEntryBytes + 2, std::byte{0});
        m_tlk->seek(kEntryTablePosition + kStringLengthField + kEntrySize * static_cast<std::int64_t>(first));
        const std::size_t got = m_tlk->read(block);
        for (std::size_t i = 0; i < count; ++i) {
            if (i * kEntryBytes + 2 > got) {
                m_truncated = true;
                break;
            }
            const std::int16_t length = endian::loadI16(block, i * kEntryBytes);
            m_lengths.push_back(length);
            m_starts.push_back(m_starts.back() + length);
        }
    }
    if (m_lengths.size() <= k)
        return {};
    const std::int16_t length = m_lengths[k];
    const std::int64_t start = m_starts[k];
    if (length <= 0 || start < 0)
        return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    m_tlk->seek(start + 1);
    if (m_tlk->read(std::as_writable_bytes(std::span(text.data(), text.size()))) != text.size())
        return {};
    return text;
}

} // namespace qm
