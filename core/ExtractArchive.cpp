// Whole-archive extraction: every file of the selected archive into the folder targetfile, listed in the
// log targetfile.log beside it.
#include "ArchiveWalk.h"
#include "ByteSource.h"
#include "ByteWriter.h"
#include "DataCopy.h"
#include "Extract.h"
#include "FileSystem.h"
#include "FreeSpace.h"
#include "HostPath.h"
#include "Interrupt.h"

#include <optional>
#include <system_error>

namespace qm {

namespace {

// A log line holds a safe name of at most 16 characters (NONAME and an index; a ResRef gives 8), "." and
// an extension of at most 7 (" -32768"), the two "_" of a Windows-safe name and CR LF.
constexpr std::int64_t kLogLineBound = 16 + 1 + 7 + 2 + 2;

// Without a chosen archive there is nothing to extract: the window is told to ask for one.
bool archiveChosen(const SelectionState& selection, const ExtractCallbacks& callbacks) {
    if (!selection.targetfile.empty())
        return true;
    if (callbacks.errormsg)
        callbacks.errormsg("Select a file");
    return false;
}

} // namespace

void extractArchive(const SelectionState& selection, const ExtractCallbacks& callbacks) {
    if (!archiveChosen(selection, callbacks))
        return;
    HostPaths gamePaths;
    extractArchive(selection, hostSources(selection, gamePaths), callbacks);
}

void extractArchive(const SelectionState& selection, const ArchiveInputs& sources,
                    const ExtractCallbacks& callbacks) {
    if (!archiveChosen(selection, callbacks))
        return;
    HostPaths paths;
    const std::string& folder = selection.targetfile;
    const auto folderPath = paths.map(folder, nullptr, PathText::GameOnly);
    {
        // Before anything is written, the folder included: a run that cannot fit would only fill the disk.
        ByteReader archive(sources.archive());
        const WalkAhead ahead = walkAhead(archive, selection, selection.nbfile);
        requireFreeSpace(folderPath, ahead.dataBytes + ahead.files * kLogLineBound);
    }
    // dirExists tests by creating the folder, so the mapper learns of it either way.
    if (!filesystem::dirExists(folderPath)) {
        filesystem::makeDir(folderPath);
        paths.noteCreated(folderPath);
    }
    filesystem::requireRealFolder(folderPath);
    const filesystem::FolderLock lock(folderPath);
    ArchiveWalk walk(selection, selection.nbfile, sources);

    const std::string logName = folder + ".log";
    bool logFound = false;
    const auto logPath = paths.map(logName, &logFound, PathText::GameOnly);
    // The name itself is looked at, so an old log that is a link (even a dangling one) is removed, not
    // followed, and the new one is created afresh.
    if (logFound && filesystem::outputExists(logPath))
        filesystem::removeFile(logPath);
    ByteWriter log(logPath, ByteWriter::Mode::CreateNew);

    std::vector<std::byte> buffer;
    std::uintmax_t loggedBytes = 0;
    while (auto file = walk.next()) {
        const BifFileEntry& e = file->entry;
        const std::string outName = folder + "\\" + file->text;
        bool outFound = false;
        // Inside the folder that was checked, whatever other spellings of its name stand beside it.
        const auto outPath = paths.within(folderPath, file->text, &outFound);
        checkBounds(walk.archive(), e.dataOffset, e.dataSize, file->index, file->text);
        // A name the mapper did not find cannot be opened either; only found ones need the real test.
        if (outFound && filesystem::outputExists(outPath))
            filesystem::removeFile(outPath);
        auto out = std::make_optional<ByteWriter>(outPath, ByteWriter::Mode::CreateNew);
        paths.noteCreated(outPath);
        // Each line reaches the file before the data of its file are copied, so the log always lists every
        // file on disk (and at most the one being written besides).
        const std::string line = file->text + "\r\n";
        log.write(line);
        log.flush();
        try {
            copyData(walk.archive(), *out, e.dataOffset, e.dataSize, buffer, {}, callbacks.stop);
        } catch (const Interrupted&) {
            // A stopped file is neither left half written under its name nor listed: the log is cut back
            // to the whole lines of the files on disk.
            out.reset();
            std::error_code ec;
            std::filesystem::remove(outPath, ec);
            log.close();
            std::filesystem::resize_file(logPath, loggedBytes, ec);
            throw;
        }
        loggedBytes += line.size();
        out->close();
        if (callbacks.written)
            callbacks.written(outName);
        // LocatorLow - begin_i + 1 for a table numbered 0, 1, 2, ...; counted from the table itself, so that
        // the bar keeps moving past the 16-bit locators and stays below 100 whatever they say.
        const double percent =
            static_cast<double>(file->index) / static_cast<double>(selection.nbfile) * 100.0;
        if (callbacks.progress)
            callbacks.progress(static_cast<float>(percent));
        if (callbacks.redraw)
            callbacks.redraw();
    }
    if (callbacks.progress)
        callbacks.progress(0.0f);
    log.close();
    if (callbacks.done)
        callbacks.done();
}

} // namespace qm
