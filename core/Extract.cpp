#include "Extract.h"

#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "ByteSource.h"
#include "ByteWriter.h"
#include "FileError.h"
#include "FileSystem.h"
#include "HostPath.h"
#include "Records.h"
#include "SafeName.h"
#include "StringTable.h"
#include "Text.h"
#include "TypeTable.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#ifdef __linux__
#include <unistd.h>
#endif

namespace qm {

namespace {

constexpr std::size_t kChunk = 65535;

template <typename F, typename... Args> void call(const F& f, Args&&... args) {
    if (f)
        f(std::forward<Args>(args)...);
}

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

// One walk over an archive's file table, naming each file from the catalogue. Whole-archive extraction
// and the editor's list share it so that both name every file the same way.
class ArchiveWalk {
public:
    struct File {
        std::int64_t index = 0; // 0-based position in the file table
        BifFileEntry entry;     // LocatorHigh already replaced by the catalogue's value
        std::string text;       // safe name, "." and extension
    };

    // `count` is the file entry count the caller holds for the archive.
    ArchiveWalk(const SelectionState& selection, std::int32_t count, const GameSources& sources)
        : m_table(sources.archive()), m_bif(sources.archive()), m_replaceHigh(selection.biffid != 999),
          m_high(selection.biffid), m_count(count),
          m_first(std::max<std::int64_t>(selection.begin_i, 1) - 1) {
        ByteReader key(sources.catalogue());
        // The resource table is read once; the forward scan, the choice of the catalogue value and the
        // look-up of names the scan missed all work on it.
        m_catalogue = readResourceTable(key);
        if (m_replaceHigh)
            m_high = catalogueHigh(selection.biffid, selection.targetfile + ".bif", key, m_catalogue,
                                   [this] { return fileKeys(); });
    }

    std::int64_t archiveLength() const { return m_bif.length(); }
    ByteReader& archive() { return m_bif; }

    // The next file, or nothing once the table's last entry is done: every entry is walked once,
    // whatever its LocatorLow says.
    std::optional<File> next() {
        if (m_first + m_index >= static_cast<std::int64_t>(m_count))
            return std::nullopt;
        const std::int64_t position = (m_first + m_index) * kFileEntrySize + kFileTablePosition;
        // The 14 bytes read of the entry must lie inside the archive.
        if (position + 13 > m_bif.length())
            throw FileError(InputPastEndOfFile, "the file table runs past the end of the archive",
                            m_bif.name());
        // The table has a reader of its own, so reading it stays sequential while the data are copied.
        m_table.seek(position);
        File file;
        file.index = m_index;
        file.entry = readFileEntry(m_table);
        if (position + kFileEntrySize <= m_bif.length())
            m_table.readI16(); // the entry's last field is not used; reading it saves a seek
        if (m_replaceHigh)
            file.entry.locatorHigh = m_high;
        file.text =
            windowsOutputName(safeName(nameFor(file)) + "." + ExtensionForType(file.entry.resourceType));
        ++m_index;
        return file;
    }

private:
    // Type and LocatorLow of every entry the walk will take, as far as the archive holds them.
    std::vector<std::uint32_t> fileKeys() {
        std::vector<std::uint32_t> keys;
        const std::int64_t held =
            std::max<std::int64_t>((m_bif.length() - (kFileTablePosition - 1)) / kFileEntrySize, 0);
        const std::int64_t last = std::min<std::int64_t>(m_count, held);
        if (last > m_first) {
            keys.reserve(static_cast<std::size_t>(last - m_first));
            m_table.seek(m_first * kFileEntrySize + kFileTablePosition);
            for (std::int64_t i = m_first; i < last; ++i) {
                const BifFileEntry e = readFileEntry(m_table);
                m_table.readI16();
                keys.push_back(
                    (static_cast<std::uint32_t>(static_cast<std::uint16_t>(e.resourceType)) << 16) |
                    static_cast<std::uint16_t>(e.locatorLow));
            }
        }
        return keys;
    }

    // The forward scan: catalogue entries are taken from where the previous file's scan stopped, at
    // least one per file, until one matches or the catalogue ends.
    std::string nameFor(const File& file) {
        const BifFileEntry& e = file.entry;
        while (m_scan < m_catalogue.size()) {
            const KeyResourceRecord& k = m_catalogue[m_scan++];
            if (k.resourceType == e.resourceType && k.locatorLow == e.locatorLow &&
                k.locatorHigh == e.locatorHigh)
                return resRefName(k.resRef);
        }
        // Past the catalogue's end the forward scan can no longer name anything; rather than give every
        // later file the same name, look the file up among all catalogue entries.
        const auto& names = lookup();
        if (const auto it = names.find(keyOf(e.resourceType, e.locatorLow, e.locatorHigh)); it != names.end())
            return resRefName(m_catalogue[it->second].resRef);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "NONAME%05lld", static_cast<long long>(file.index));
        return buffer;
    }

    // Built once per walk, and only when a forward scan ran out; the first entry of a key names it.
    const std::unordered_map<std::uint64_t, std::size_t>& lookup() {
        if (!m_lookup) {
            m_lookup.emplace();
            for (std::size_t i = 0; i < m_catalogue.size(); ++i) {
                const KeyResourceRecord& k = m_catalogue[i];
                m_lookup->try_emplace(keyOf(k.resourceType, k.locatorLow, k.locatorHigh), i);
            }
        }
        return *m_lookup;
    }

    ByteReader m_table;
    ByteReader m_bif;
    bool m_replaceHigh;
    std::int16_t m_high;
    std::int32_t m_count;
    std::int64_t m_first; // 0-based index of the first entry walked
    std::int64_t m_index = 0;
    std::vector<KeyResourceRecord> m_catalogue;
    std::size_t m_scan = 0;
    std::optional<std::unordered_map<std::uint64_t, std::size_t>> m_lookup;
};

GameSources hostSources(const SelectionState& selection, HostPaths& paths) {
    return {
        [&paths, key = selection.BGpath + "chitin.key"] {
            return openFileSource(paths.map(key), ByteReader::kSequentialBuffer);
        },
        [path = locateArchive(selection)] { return openFileSource(path, ByteReader::kSequentialBuffer); }};
}

// Data must lie inside the archive; an empty or negative size copies nothing wherever it points. A failure
// names the archive and the entry, `index` (0-based, or -1 for none known) with its list text.
void checkBounds(const ByteReader& archive, std::int32_t dataOffset, std::int32_t dataSize,
                 std::int64_t index, const std::string& text) {
    if (dataSize <= 0)
        return;
    const auto where = [&] {
        return index < 0 ? archive.name() : archive.name() + ", entry " + std::to_string(index) + ": " + text;
    };
    if (dataOffset < 0)
        throw FileError(BadRecordNumber, "the file's data start before the archive", where());
    if (static_cast<std::int64_t>(dataOffset) + dataSize > archive.length())
        throw FileError(InputPastEndOfFile, "the file's data run past the end of the archive", where());
}

#ifdef __linux__
// Set once the kernel refused a copy between two files; the rest of the run copies through the buffer.
std::atomic<bool> kernelCopyRefused{false};

// Copies `piece` bytes from 0-based `offset` of the archive to the output's end in the kernel. False when
// the kernel cannot copy between these files, before anything was copied.
bool kernelCopy(ByteReader& archive, ByteWriter& out, std::int64_t offset, std::size_t piece) {
    const int in = archive.fileDescriptor();
    if (in < 0 || kernelCopyRefused.load(std::memory_order_relaxed))
        return false;
    const int to = out.flushedDescriptor();
    auto from = static_cast<off_t>(offset);
    std::size_t done = 0;
    while (done < piece) {
        const ssize_t n = copy_file_range(in, &from, to, nullptr, piece - done, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && done == 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)) {
            kernelCopyRefused = true;
            return false;
        }
        if (n < 0) {
            const int err = errno;
            // A full disk or a size limit is the output's failure; anything else the archive's.
            throw errorFromErrno(err, err == ENOSPC || err == EFBIG || err == EDQUOT ? out.name()
                                                                                     : archive.name());
        }
        if (n == 0) // the archive shrank since its length was read
            throw FileError(InputPastEndOfFile, archive.name());
        done += static_cast<std::size_t>(n);
    }
    return true;
}
#else
bool kernelCopy(ByteReader&, ByteWriter&, std::int64_t, std::size_t) {
    return false;
}
#endif

// Copies in pieces of 65535 bytes, in the kernel where it can, else through `buffer`; `afterRead` gets the
// bytes copied so far after each piece is read.
template <typename AfterRead>
void copyData(ByteReader& archive, ByteWriter& out, std::int32_t dataOffset, std::int32_t dataSize,
              std::vector<std::byte>& buffer, AfterRead&& afterRead) {
    if (dataSize <= 0)
        return;
    archive.seek(static_cast<std::int64_t>(dataOffset) + 1);
    std::int64_t copied = 0;
    while (copied < dataSize) {
        const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, dataSize - copied));
        if (kernelCopy(archive, out, static_cast<std::int64_t>(dataOffset) + copied, piece)) {
            copied += static_cast<std::int64_t>(piece);
            afterRead(copied);
            continue;
        }
        buffer.resize(kChunk);
        archive.seek(static_cast<std::int64_t>(dataOffset) + copied + 1);
        archive.readExact(std::span(buffer.data(), piece));
        copied += static_cast<std::int64_t>(piece);
        afterRead(copied);
        out.write(std::span<const std::byte>(buffer.data(), piece));
    }
}

} // namespace

void extractArchive(const SelectionState& selection, const ExtractCallbacks& callbacks) {
    if (selection.targetfile.empty()) {
        call(callbacks.errormsg, std::string("Select a file"));
        return;
    }
    HostPaths paths;
    const std::string& folder = selection.targetfile;
    const auto folderPath = paths.map(folder, nullptr, PathText::GameOnly);
    // dirExists tests by creating the folder, so the mapper learns of it either way.
    if (!filesystem::dirExists(folderPath)) {
        filesystem::makeDir(folderPath);
        paths.noteCreated(folderPath);
    }
    filesystem::requireRealFolder(folderPath);
    const filesystem::FolderLock lock(folderPath);
    ArchiveWalk walk(selection, selection.nbfile, hostSources(selection, paths));

    const std::string logName = folder + ".log";
    bool logFound = false;
    const auto logPath = paths.map(logName, &logFound, PathText::GameOnly);
    // The name itself is looked at, so an old log that is a link (even a dangling one) is removed, not
    // followed, and the new one is created afresh.
    if (logFound && filesystem::outputExists(logPath))
        filesystem::removeFile(logPath);
    ByteWriter log(logPath, ByteWriter::Mode::CreateNew);

    std::vector<std::byte> buffer;
    while (auto file = walk.next()) {
        const BifFileEntry& e = file->entry;
        const std::string outName = folder + "\\" + file->text;
        bool outFound = false;
        const auto outPath = paths.map(outName, &outFound, PathText::GameOnly);
        checkBounds(walk.archive(), e.dataOffset, e.dataSize, file->index, file->text);
        // A name the mapper did not find cannot be opened either; only found ones need the real test.
        if (outFound && filesystem::outputExists(outPath))
            filesystem::removeFile(outPath);
        ByteWriter out(outPath, ByteWriter::Mode::CreateNew);
        paths.noteCreated(outPath);
        // Each line reaches the file before the data of its file are copied, so the log always lists
        // every file on disk (and at most the one being written besides).
        log.write(file->text + "\r\n");
        log.flush();
        copyData(walk.archive(), out, e.dataOffset, e.dataSize, buffer, [](std::int64_t) {});
        out.close();
        call(callbacks.written, outName);
        // LocatorLow - begin_i + 1 for a table numbered 0, 1, 2, ...; counted from the table itself, so that
        // the bar keeps moving past the 16-bit locators and stays below 100 whatever they say.
        const double percent =
            static_cast<double>(file->index) / static_cast<double>(selection.nbfile) * 100.0;
        call(callbacks.progress, static_cast<float>(percent));
        call(callbacks.redraw);
    }
    call(callbacks.progress, 0.0f);
    log.close();
    call(callbacks.done);
}

ArchiveListing listArchive(const SelectionState& selection, const std::function<void(float)>& progress) {
    HostPaths paths;
    return listArchive(selection, hostSources(selection, paths), progress);
}

ArchiveListing listArchive(const SelectionState& selection, const GameSources& sources,
                           const std::function<void(float)>& progress) {
    ArchiveWalk walk(selection, selection.nbfile_2, sources);
    ArchiveListing listing;
    listing.archiveLength = walk.archiveLength();
    while (auto file = walk.next()) {
        listing.files.push_back(
            {std::move(file->text), file->entry.dataOffset, file->entry.dataSize, file->entry.resourceType});
        // The 16-bit counter for a table numbered 0, 1, 2, ...; counted from the table, as above.
        call(progress, static_cast<float>(static_cast<double>(file->index + 1) /
                                          static_cast<double>(selection.nbfile_2) * 100.0));
    }
    call(progress, 0.0f);
    return listing;
}

namespace {

// `index` and `text` name the entry in messages.
void copyToFile(const std::filesystem::path& inPath, const std::string& outputPath, std::int32_t dataoffset,
                std::int32_t datasize, const std::function<void(float)>& progress, std::int64_t index,
                const std::string& text) {
    ByteReader archive(inPath);
    checkBounds(archive, dataoffset, datasize, index, text);
    // The data go to a new file beside the output, which then takes the output's name: the output appears
    // whole or not at all, no bytes of an older, longer file survive, and whatever stood at the name (a
    // link, a pipe, a second name of another file's data) is replaced rather than written through.
    const std::filesystem::path outPath = hostPath(outputPath, PathText::GameOnly);
    std::filesystem::path partPath = outPath;
    partPath += ".quillmere-part";
    if (filesystem::nameTaken(partPath))
        filesystem::removeFile(partPath);
    try {
        ByteWriter out(partPath, ByteWriter::Mode::CreateNew);
        std::vector<std::byte> buffer;
        copyData(archive, out, dataoffset, datasize, buffer, [&](std::int64_t copied) {
            call(progress,
                 static_cast<float>(static_cast<double>(copied) / static_cast<double>(datasize) * 100.0));
        });
        out.close();
        filesystem::replaceFile(partPath, outPath);
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove(partPath, ec);
        throw;
    }
    call(progress, 0.0f);
}

} // namespace

void extractfile(const std::string& archivePath, const std::string& outputPath, std::int32_t dataoffset,
                 std::int32_t datasize, const std::function<void(float)>& progress) {
    copyToFile(hostPath(archivePath), outputPath, dataoffset, datasize, progress, -1, {});
}

void extractSelected(const SelectionState& archive, const std::vector<std::string>& listTexts,
                     const PickCallbacks& callbacks) {
    const auto workDir = hostPath("WorkDir");
    if (!filesystem::dirExists(workDir))
        filesystem::makeDir(workDir);
    filesystem::requireRealFolder(workDir);
    const filesystem::FolderLock lock(workDir);
    const std::filesystem::path path = locateArchive(archive);
    for (std::int32_t i = 0; i < archive.nbfile_2; ++i) {
        if (static_cast<std::size_t>(i) >= listTexts.size())
            break;
        if (callbacks.isChecked(i)) {
            call(callbacks.status, listTexts[static_cast<std::size_t>(i)]);
            ByteReader table(path, ByteReader::kRandomAccessBuffer);
            const EntryDetails bounds = readEntryDetails(table, i);
            table.close();
            const std::string outName =
                "workdir\\" + windowsOutputName(safeName(listTexts[static_cast<std::size_t>(i)]));
            copyToFile(path, outName, bounds.dataOffset, bounds.dataSize, callbacks.progress, i,
                       listTexts[static_cast<std::size_t>(i)]);
            call(callbacks.written, outName);
            call(callbacks.uncheck, i);
        }
        call(callbacks.status, std::string());
    }
}

EntryDetails readEntryDetails(const std::string& archivePath, int index) {
    ByteReader bif(hostPath(archivePath), ByteReader::kRandomAccessBuffer);
    return readEntryDetails(bif, index);
}

EntryDetails readEntryDetails(const SelectionState& archive, int index) {
    ByteReader bif(locateArchive(archive), ByteReader::kRandomAccessBuffer);
    return readEntryDetails(bif, index);
}

EntryDetails readEntryDetails(ByteReader& bif, int index) {
    if (index < 0 || kFileTablePosition + kFileEntrySize * index + 4 + 8 > bif.length() + 1)
        throw FileError(InputPastEndOfFile, "the file table runs past the end of the archive", "");
    const DataBounds bounds = readDataBounds(bif, index);
    EntryDetails details{bounds.dataOffset, bounds.dataSize, 0};
    // Item files keep their name's string reference at bytes 12-15 of their data; the Enhanced Edition's
    // tables need all 32 bits. For other data the number means nothing and nobody shows it.
    if (bounds.dataOffset >= 0 && static_cast<std::int64_t>(bounds.dataOffset) + 16 <= bif.length()) {
        bif.seek(static_cast<std::int64_t>(bounds.dataOffset) + 13);
        details.nameIndex = bif.readI32();
    } else if (bounds.dataOffset >= 0 && static_cast<std::int64_t>(bounds.dataOffset) + 14 <= bif.length()) {
        bif.seek(static_cast<std::int64_t>(bounds.dataOffset) + 13);
        details.nameIndex = bif.readI16();
    }
    return details;
}

std::string tlkstring(const std::string& BGpath, std::int32_t n, const std::string& lang) {
    return StringTable(BGpath, lang).get(n);
}

} // namespace qm
