#include "ArchiveWalk.h"

#include "ArchiveLocation.h"
#include "ByteSource.h"
#include "DataCopy.h"
#include "Extract.h"
#include "FileError.h"
#include "HostPath.h"
#include "SafeName.h"
#include "Text.h"
#include "TypeTable.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <unordered_set>

namespace qm {

namespace {

std::uint64_t keyOf(std::int16_t type, std::int16_t low, std::int16_t high) {
    return (static_cast<std::uint64_t>(static_cast<std::uint16_t>(type)) << 32) |
           (static_cast<std::uint64_t>(static_cast<std::uint16_t>(low)) << 16) |
           static_cast<std::uint16_t>(high);
}

// The LocatorHigh that ties this archive's files to their catalogue entries. Real catalogues store 16 x
// the archive's position in the archive table; the fixed value is that of the original release. Each
// candidate counts the file entries that a catalogue entry of the same type, LocatorLow and that
// LocatorHigh names. The most wins; on a tie the fixed value, unless its own position names another
// archive: then the lowest tied position of this one.
std::int16_t catalogueHigh(std::int16_t fixed, const std::string& listName, ByteReader& key,
                           const std::vector<KeyResourceRecord>& catalogue,
                           const std::function<std::vector<std::uint32_t>()>& readFileKeys) {
    const ArchiveNameBlock names(key);
    std::vector<std::int16_t> positions; // 16 x k for every k that names this archive, ascending
    bool fixedNamesOther = false;
    for (int k = 0; k < kArchiveEntriesRead; ++k) {
        const std::string_view name = names.name(k);
        if (equalsIgnoreCase(name, listName))
            positions.push_back(static_cast<std::int16_t>(16 * k));
        else if (fixed >= 0 && k == fixed / 16 && !name.empty())
            fixedNamesOther = true;
    }
    if (positions.empty() || (positions.size() == 1 && positions.front() == fixed))
        return fixed;

    std::vector<std::int16_t> candidates{fixed};
    for (const std::int16_t p : positions)
        if (p != fixed)
            candidates.push_back(p);
    std::vector<bool> isCandidate(1 << 16, false);
    for (const std::int16_t c : candidates)
        isCandidate[static_cast<std::uint16_t>(c)] = true;
    std::unordered_set<std::uint64_t> named;
    for (const KeyResourceRecord& r : catalogue)
        if (isCandidate[static_cast<std::uint16_t>(r.locatorHigh)])
            named.insert(keyOf(r.resourceType, r.locatorLow, r.locatorHigh));

    std::vector<std::int64_t> counts(candidates.size(), 0);
    // The file table is read only when there is a choice to make, never for the original layout.
    for (const std::uint32_t file : readFileKeys()) {
        const auto type = static_cast<std::int16_t>(file >> 16);
        const auto low = static_cast<std::int16_t>(file & 0xFFFF);
        for (std::size_t c = 0; c < candidates.size(); ++c)
            counts[c] += static_cast<std::int64_t>(named.count(keyOf(type, low, candidates[c])));
    }
    const std::int64_t best = *std::max_element(counts.begin(), counts.end());
    if (counts[0] == best && !fixedNamesOther)
        return fixed;
    for (const std::int16_t p : positions) // ascending, so the first tied is the lowest
        if (counts[static_cast<std::size_t>(std::find(candidates.begin(), candidates.end(), p) -
                                            candidates.begin())] == best)
            return p;
    return fixed;
}

} // namespace

ArchiveWalk::ArchiveWalk(const SelectionState& selection, std::int32_t count, const ArchiveInputs& sources)
    : m_table(sources.archive()), m_bif(sources.archive()), m_replaceHigh(selection.biffid != 999),
      m_high(selection.biffid), m_count(count), m_first(firstEntryIndex(selection)) {
    ByteReader key(sources.catalogue());
    // The resource table is read once; the forward scan, the choice of the catalogue value and the
    // look-up of names the scan missed all work on it.
    m_catalogue = readResourceTable(key);
    if (m_replaceHigh) {
        m_high = catalogueHigh(selection.biffid, selection.targetfile + ".bif", key, m_catalogue,
                               [this] { return fileKeys(); });
    } else {
        // Another archive keeps its entries' own LocatorHigh, unless its position in the catalogue names
        // more of its files: archives that store only the file's index in their locators.
        const std::int16_t high =
            catalogueHigh(-1, selection.targetfile + ".bif", key, m_catalogue, [this] { return fileKeys(); });
        m_replaceHigh = high >= 0;
        m_high = high;
    }
    m_documentedTypes = selection.biffid == 999;
}

std::optional<ArchiveWalk::File> ArchiveWalk::next() {
    if (m_first + m_index >= static_cast<std::int64_t>(m_count))
        return std::nullopt;
    // The 14 bytes read of the entry must lie inside the archive.
    const std::span<const std::byte> raw = m_entries.entry(m_first + m_index, 14);
    if (raw.empty())
        throw FileError(InputPastEndOfFile, "the file table runs past the end of the archive", m_bif.name());
    File file;
    file.index = m_index;
    file.entry = fileEntryFrom(raw);
    if (m_replaceHigh)
        file.entry.locatorHigh = m_high;
    // The four listed archives keep the program's own table; any other archive is named by the format's.
    const std::string extension =
        m_documentedTypes ? documentedExtension(static_cast<std::uint16_t>(file.entry.resourceType))
                          : ExtensionForType(file.entry.resourceType);
    file.text = windowsOutputName(safeName(nameFor(file)) + "." + extension);
    ++m_index;
    return file;
}

WalkAhead walkAhead(ByteReader& archive, const SelectionState& selection, std::int32_t count) {
    WalkAhead ahead;
    FileTableBlocks table(archive);
    for (std::int64_t i = firstEntryIndex(selection); i < count; ++i) {
        const std::span<const std::byte> raw = table.entry(i, 14);
        if (raw.empty())
            break;
        const BifFileEntry e = fileEntryFrom(raw);
        if (!dataInside(archive.length(), e.dataOffset, e.dataSize))
            break;
        ++ahead.files;
        ahead.dataBytes += std::max<std::int32_t>(e.dataSize, 0);
    }
    return ahead;
}

// Type and LocatorLow of every entry the walk will take, as far as the archive holds them.
std::vector<std::uint32_t> ArchiveWalk::fileKeys() {
    std::vector<std::uint32_t> keys;
    const std::int64_t held = std::max<std::int64_t>((m_bif.length() - kFileTableOffset) / kFileEntrySize, 0);
    const std::int64_t last = std::min<std::int64_t>(m_count, held);
    if (last > m_first) {
        keys.reserve(static_cast<std::size_t>(last - m_first));
        for (std::int64_t i = m_first; i < last; ++i) {
            const BifFileEntry e = fileEntryFrom(m_entries.entry(i, 14));
            keys.push_back((static_cast<std::uint32_t>(static_cast<std::uint16_t>(e.resourceType)) << 16) |
                           static_cast<std::uint16_t>(e.locatorLow));
        }
    }
    return keys;
}

// The forward scan: catalogue entries are taken from where the previous file's scan stopped, at least one
// per file, until one matches or the catalogue ends.
std::string ArchiveWalk::nameFor(const File& file) {
    const BifFileEntry& e = file.entry;
    while (m_scan < m_catalogue.size()) {
        const KeyResourceRecord& k = m_catalogue[m_scan++];
        if (k.resourceType == e.resourceType && k.locatorLow == e.locatorLow &&
            k.locatorHigh == e.locatorHigh)
            return resRefName(k.resRef);
    }
    // Past the catalogue's end the forward scan can no longer name anything; rather than give every later
    // file the same name, look the file up among all catalogue entries.
    const auto& names = lookup();
    if (const auto it = names.find(keyOf(e.resourceType, e.locatorLow, e.locatorHigh)); it != names.end())
        return resRefName(m_catalogue[it->second].resRef);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "NONAME%05lld", static_cast<long long>(file.index));
    return buffer;
}

// Built once per walk, and only when a forward scan ran out; the first entry of a key names it.
const std::unordered_map<std::uint64_t, std::size_t>& ArchiveWalk::lookup() {
    if (!m_lookup) {
        m_lookup.emplace();
        for (std::size_t i = 0; i < m_catalogue.size(); ++i) {
            const KeyResourceRecord& k = m_catalogue[i];
            m_lookup->try_emplace(keyOf(k.resourceType, k.locatorLow, k.locatorHigh), i);
        }
    }
    return *m_lookup;
}

ArchiveInputs hostSources(const SelectionState& selection, const HostPaths& paths) {
    return {
        [paths = HostPaths(paths), key = selection.BGpath + "chitin.key"]() mutable {
            return openFileSource(paths.map(key), ByteReader::kSequentialBuffer);
        },
        [path = locateArchive(selection)] { return openFileSource(path, ByteReader::kSequentialBuffer); }};
}

ArchiveListing listArchive(const SelectionState& selection, const std::function<void(float)>& progress) {
    HostPaths paths;
    return listArchive(selection, hostSources(selection, paths), progress);
}

ArchiveListing listArchive(const SelectionState& selection, const ArchiveInputs& sources,
                           const std::function<void(float)>& progress) {
    ArchiveWalk walk(selection, selection.nbfile_2, sources);
    ArchiveListing listing;
    listing.archiveLength = walk.archiveLength();
    while (auto file = walk.next()) {
        listing.files.push_back(
            {std::move(file->text), file->entry.dataOffset, file->entry.dataSize, file->entry.resourceType});
        // The 16-bit counter for a table numbered 0, 1, 2, ...; counted from the table itself, so that the
        // bar keeps moving past the 16-bit locators and stays below 100 whatever they say.
        if (progress)
            progress(static_cast<float>(static_cast<double>(file->index + 1) /
                                        static_cast<double>(selection.nbfile_2) * 100.0));
    }
    if (progress)
        progress(0.0f);
    return listing;
}

} // namespace qm
