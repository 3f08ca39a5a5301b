#pragma once

#include "ArchiveWalk.h"
#include "Selection.h"
#include "StringTable.h"
#include "TypeTable.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qm {

class ByteReader;
class ByteSource;
class StopRequest;

// Every procedure here runs synchronously and throws FileError for a failure it does not trap; files it
// opened are closed by then. Callbacks left empty are skipped.

// What whole-archive extraction needs of the window that runs it. The existence tests are the file
// layer's own (fileExists / dirExists): an unexpected failure of one is thrown as FatalFileError, which
// the caller answers with the fatal "ERROR" box.
struct ExtractCallbacks {
    std::function<void(float)> progress;              // the progress bar's value, 0 to below 100
    std::function<void()> redraw;                     // after each file
    std::function<void()> done;                       // the end-of-extraction box
    std::function<void(const std::string&)> errormsg; // "Select a file"
    std::function<void(const std::string&)> written;  // each output path, as written (game-style)
    // Looked at before each chunk of data: a request stops the run with Interrupted, and the file being
    // written is removed and taken off the log.
    const StopRequest* stop = nullptr;
};

// Whole-archive extraction of the selected archive into the folder targetfile, with the log
// targetfile.log, both in the current directory. A run whose data and log lines do not fit in the free
// space of the output's file system fails with 61 before anything is written.
void extractArchive(const SelectionState& selection, const ExtractCallbacks& callbacks);
// The same with the game's files read from `sources`.
void extractArchive(const SelectionState& selection, const ArchiveInputs& sources,
                    const ExtractCallbacks& callbacks);

// One entry of the editor's list, in file-table order.
struct ListedFile {
    std::string text; // safe name, "." and extension: the list text and the output file name
    std::int32_t dataOffset = 0;
    std::int32_t dataSize = 0;
    std::int16_t resourceType = 0;
};

struct ArchiveListing {
    std::int64_t archiveLength = 0;
    std::vector<ListedFile> files;
};

// The editor's load walk: names every file exactly as whole-archive extraction does. `progress` gets
// the number of files walked / nbfile_2 * 100 after each file, then 0.
ArchiveListing listArchive(const SelectionState& selection, const std::function<void(float)>& progress);
ArchiveListing listArchive(const SelectionState& selection, const ArchiveInputs& sources,
                           const std::function<void(float)>& progress);

// Copies datasize bytes from position dataoffset + 1 of the archive into the output file, emptied first,
// in chunks of 65535 bytes; `progress` gets the percentage copied after each chunk's read, then 0.
// Data reaching past the archive's end fail with 62.
void extractfile(const std::string& archivePath, const std::string& outputPath, std::int32_t dataoffset,
                 std::int32_t datasize, const std::function<void(float)>& progress = {});

// What selective extraction needs of the editor.
struct PickCallbacks {
    std::function<bool(int)> isChecked;             // required
    std::function<void(int)> uncheck;               // runs the check-change handler, nested
    std::function<void(const std::string&)> status; // the status bar's first panel
    std::function<void(float)> progress;            // the editor's progress bar
    // Each output once it is whole: its game-style path and the host file that holds it.
    std::function<void(const std::string&, const std::filesystem::path&)> written;
    // Looked at before each chunk of data: a request stops the run with Interrupted, and the file being
    // written is removed with its part file.
    const StopRequest* stop = nullptr;
};

// Selective extraction into WorkDir: entry i of `listTexts` stands for file entry i of the archive that
// `archive` names; entries 0 to nbfile_2 - 1 that are checked are written and then unchecked. The archive
// is opened once per run. Checked files whose data do not fit in WorkDir's free space fail the run with
// 61 before anything is written.
void extractSelected(const SelectionState& archive, const std::vector<std::string>& listTexts,
                     const PickCallbacks& callbacks);
// The same with the archive read from `sources` (its catalogue is not needed).
void extractSelected(const SelectionState& archive, const ArchiveInputs& sources,
                     const std::vector<std::string>& listTexts, const PickCallbacks& callbacks);

// One output of extractData: `size` bytes from the 0-based `offset` of an archive the caller keeps open,
// written under the file name `text` (made safe as list texts are).
struct DataPick {
    ByteReader* archive = nullptr;
    std::int64_t offset = 0;
    std::int64_t size = 0;
    std::string text;
};
struct DataPickCallbacks {
    std::function<void(float)> progress; // each file's percentage copied, then 0
    // Each output once it is whole: its game-style path and the host file that holds it.
    std::function<void(const std::string&, const std::filesystem::path&)> written;
    const StopRequest* stop = nullptr; // as PickCallbacks::stop
};
// The picks into WorkDir, in order, as extractSelected writes its files: the bytes of all of them must fit
// in WorkDir's free space before anything is written (61), WorkDir is a real folder, and each file appears
// whole or not at all. Data that lie outside their archive end the run there (62, 63).
void extractData(const std::vector<DataPick>& picks, const DataPickCallbacks& callbacks);

// Offset, size and the item name index of file entry `index`: the 32-bit string reference at bytes 12-15
// of the data, read from the archive whatever the entry's size. Where the archive ends after byte 13, the
// two bytes there count, as a signed 16-bit number; where it ends sooner, 0.
struct EntryDetails {
    std::int32_t dataOffset = 0;
    std::int32_t dataSize = 0;
    std::int32_t nameIndex = 0;
};
// The same from the archive that the selection names, wherever the game keeps it (locateArchive).
EntryDetails readEntryDetails(const SelectionState& archive, int index);
// The same from an archive already open, for callers that read many entries.
EntryDetails readEntryDetails(ByteReader& archive, int index);

// String n of the game's string table (StringTable, locateStringTable), as stored. A missing or short
// file gives empty text; the file is never created. Callers that look up many names keep a StringTable.
std::string tlkstring(const std::string& BGpath, std::int32_t n, const std::string& lang = {});

} // namespace qm
