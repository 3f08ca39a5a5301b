// The editor's listing walk and the entry details over an arbitrary catalogue and archive, from memory.
#include "ByteReader.h"
#include "ByteSource.h"
#include "Endian.h"
#include "Extract.h"
#include "FileError.h"
#include "Sandbox.h"
#include "Selection.h"
#include "Text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// What a hostile archive or catalogue may cause: data or a table past the end (62), a table position
// before the start of the file (63). Anything else is a fault.
void expectReport(const qm::FileError& e) {
    if (e.number() != qm::InputPastEndOfFile && e.number() != qm::BadRecordNumber)
        qm::fuzz::fail("unexpected failure " + std::string(e.what()));
}

bool isSafeText(const std::string& text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qm::fuzz::GameInput input = qm::fuzz::splitGameInput(data, size);
    const auto key = qm::endian::asBytes(input.key.data(), input.key.size());
    const auto bif = qm::endian::asBytes(input.bif.data(), input.bif.size());
    const qm::ArchiveInputs sources{[&] { return std::make_unique<qm::MemorySource>(key, "chitin.key"); },
                                    [&] { return std::make_unique<qm::MemorySource>(bif, "archive.bif"); }};

    try {
        qm::ByteReader archive(sources.archive());
        const qm::SelectionState selected = qm::selectArchive("", input.archiveName + ".BIF", archive);
        float lastProgress = 0.0f;
        const qm::ArchiveListing listing =
            qm::listArchive(selected, sources, [&](float p) { lastProgress = p; });
        if (lastProgress != 0.0f)
            qm::fuzz::fail("the progress bar did not end at 0");
        if (listing.archiveLength != static_cast<std::int64_t>(input.bif.size()))
            qm::fuzz::fail("wrong archive length");
        // The walk ends at the latest after the table's last entry.
        if (listing.files.size() > input.bif.size() / 16 + 1)
            qm::fuzz::fail("walked past the file table");
        if (selected.nbfile_2 >= 0 && listing.files.size() > static_cast<std::size_t>(selected.nbfile_2))
            qm::fuzz::fail("walked more entries than the count");
        for (const qm::ListedFile& file : listing.files)
            if (!isSafeText(file.text))
                qm::fuzz::fail("unsafe list text: " + file.text);
        // The details of every listed entry, as checking its box reads them.
        for (std::size_t i = 0; i < listing.files.size(); ++i) {
            const qm::EntryDetails details = qm::readEntryDetails(archive, static_cast<int>(i));
            if (details.dataOffset != listing.files[i].dataOffset ||
                details.dataSize != listing.files[i].dataSize)
                qm::fuzz::fail("details disagree with the listing at entry " + std::to_string(i));
        }
    } catch (const qm::FileError& e) {
        expectReport(e);
    }
    return 0;
}
