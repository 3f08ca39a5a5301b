// Selective extraction: the editor's checked files into WorkDir, each written whole or not at all.
#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "ByteSource.h"
#include "ByteWriter.h"
#include "DataCopy.h"
#include "Endian.h"
#include "Extract.h"
#include "FileError.h"
#include "FileSystem.h"
#include "FreeSpace.h"
#include "HostPath.h"
#include "Records.h"
#include "SafeName.h"
#include "WholeFile.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <system_error>

namespace qm {

namespace fs = std::filesystem;

namespace {

// The data are written whole or not at all (writeAtomically); `index` and `text` name the entry in
// messages. A failure or a stop removes the part file.
void writeWhole(ByteReader& archive, const fs::path& outPath, std::int32_t dataoffset, std::int32_t datasize,
                const std::function<void(float)>& progress, std::int64_t index, const std::string& text,
                std::vector<std::byte>& buffer, const StopRequest* stop) {
    checkBounds(archive, dataoffset, datasize, index, text);
    std::function<void(std::int64_t)> afterRead;
    if (progress)
        afterRead = [&](std::int64_t copied) {
            progress(static_cast<float>(static_cast<double>(copied) / static_cast<double>(datasize) * 100.0));
        };
    writeAtomically(outPath, [&](ByteWriter& out) {
        copyData(archive, out, dataoffset, datasize, buffer, afterRead, stop);
    });
    if (progress)
        progress(0.0f);
}

// DataOffset and DataSize of entry i, or nothing where the archive ends before them.
std::optional<DataBounds> boundsOf(FileTableBlocks& table, std::int64_t i) {
    const std::span<const std::byte> raw = table.entry(i, 12);
    if (raw.empty())
        return std::nullopt;
    return DataBounds{endian::loadI32(raw, 4), endian::loadI32(raw, 8)};
}

constexpr std::string_view kWorkDir = "WorkDir";

// WorkDir, made when missing, once `needed` bytes are known to fit. The folder is mapped once and every
// output is placed inside what was mapped and checked; an output's game path spells the folder the same
// way, so a caller that maps it again finds that folder.
fs::path openWorkDir(HostPaths& paths, std::int64_t needed) {
    const auto workDir = paths.map(kWorkDir, nullptr, PathText::GameOnly);
    requireFreeSpace(workDir, needed);
    if (!filesystem::dirExists(workDir)) {
        filesystem::makeDir(workDir);
        paths.noteCreated(workDir);
    }
    filesystem::requireRealFolder(workDir);
    return workDir;
}

} // namespace

void extractfile(const std::string& archivePath, const std::string& outputPath, std::int32_t dataoffset,
                 std::int32_t datasize, const std::function<void(float)>& progress) {
    ByteReader archive(hostPath(archivePath), ByteReader::kRandomAccessBuffer);
    std::vector<std::byte> buffer;
    writeWhole(archive, hostPath(outputPath, PathText::GameOnly), dataoffset, datasize, progress, -1, {},
               buffer, nullptr);
}

void extractSelected(const SelectionState& archive, const std::vector<std::string>& listTexts,
                     const PickCallbacks& callbacks) {
    // Reads jump from entry to entry and the data are copied in the kernel: a small buffer serves.
    const ArchiveInputs sources{{}, [path = locateArchive(archive)] {
                                    return openFileSource(path, ByteReader::kRandomAccessBuffer);
                                }};
    extractSelected(archive, sources, listTexts, callbacks);
}

void extractSelected(const SelectionState& archive, const ArchiveInputs& sources,
                     const std::vector<std::string>& listTexts, const PickCallbacks& callbacks) {
    // One reader and one path mapper for the whole run: the mapper lists WorkDir once and learns of every
    // file written, so a run costs the same per file however full WorkDir is. The editor's nested
    // check-change handler reads the archive through a reader of its own.
    ByteReader bif(sources.archive());
    const std::int32_t count =
        std::min<std::int32_t>(archive.nbfile_2, static_cast<std::int32_t>(std::min<std::size_t>(
                                                     listTexts.size(), static_cast<std::size_t>(INT32_MAX))));

    // Before anything is written: the data of the checked files up to the first one that fails, as that
    // failure ends the run there.
    FileTableBlocks table(bif);
    std::int64_t needed = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!callbacks.isChecked(i))
            continue;
        const std::optional<DataBounds> bounds = boundsOf(table, i);
        if (!bounds || !dataInside(bif.length(), bounds->dataOffset, bounds->dataSize))
            break;
        needed += std::max<std::int32_t>(bounds->dataSize, 0);
    }
    HostPaths paths;
    const auto workDir = openWorkDir(paths, needed);
    const filesystem::FolderLock lock(workDir);
    std::vector<std::byte> buffer;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string& text = listTexts[static_cast<std::size_t>(i)];
        if (callbacks.isChecked(i)) {
            if (callbacks.status)
                callbacks.status(text);
            const std::optional<DataBounds> held = boundsOf(table, i);
            const DataBounds bounds = held ? *held : entryDataBounds(bif, i); // which reports the failure
            const std::string fileName = windowsOutputName(safeName(text));
            const std::string outName = std::string(kWorkDir) + "\\" + fileName;
            const fs::path outPath = paths.within(workDir, fileName);
            writeWhole(bif, outPath, bounds.dataOffset, bounds.dataSize, callbacks.progress, i, text, buffer,
                       callbacks.stop);
            paths.noteCreated(outPath);
            if (callbacks.written)
                callbacks.written(outName, outPath);
            if (callbacks.uncheck)
                callbacks.uncheck(i);
        }
        if (callbacks.status)
            callbacks.status(std::string());
    }
}

void extractData(const std::vector<DataPick>& picks, const DataPickCallbacks& callbacks) {
    // The bytes of the picks up to the first whose data lie outside its archive, as that one ends the run.
    const auto fits = [](const DataPick& pick) {
        return pick.offset >= 0 && pick.offset <= INT32_MAX && pick.size >= 0 && pick.size <= INT32_MAX;
    };
    std::int64_t needed = 0;
    for (const DataPick& pick : picks) {
        if (!fits(pick) || !dataInside(pick.archive->length(), static_cast<std::int32_t>(pick.offset),
                                       static_cast<std::int32_t>(pick.size)))
            break;
        needed += pick.size;
    }
    HostPaths paths;
    const auto workDir = openWorkDir(paths, needed);
    const filesystem::FolderLock lock(workDir);
    std::vector<std::byte> buffer;
    for (std::size_t i = 0; i < picks.size(); ++i) {
        const DataPick& pick = picks[i];
        if (!fits(pick))
            throw FileError(InputPastEndOfFile,
                            "the data of " + pick.text + " lie past the end of the archive",
                            pick.archive->name());
        const std::string fileName = windowsOutputName(safeName(pick.text));
        const fs::path outPath = paths.within(workDir, fileName);
        writeWhole(*pick.archive, outPath, static_cast<std::int32_t>(pick.offset),
                   static_cast<std::int32_t>(pick.size), callbacks.progress, static_cast<std::int64_t>(i),
                   pick.text, buffer, callbacks.stop);
        paths.noteCreated(outPath);
        if (callbacks.written)
            callbacks.written(std::string(kWorkDir) + "\\" + fileName, outPath);
    }
}

} // namespace qm
