#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "Command.h"
#include "Extract.h"
#include "Interrupt.h"

namespace qm::cli {

// Every file of the archive into the folder named after it, with its log.
int extractCommand(const Request& request, Streams& streams) {
    const SelectionState selection = chooseArchive(request.game, request.words.at(0));
    auto convert = outputConverter(request, streams.err);
    if (request.wav && !selection.targetfile.empty()) {
        const ArchiveListing listing = listArchive(selection, {});
        ByteReader archive(locateArchive(selection), ByteReader::kRandomAccessBuffer);
        std::vector<StoredOutput> outputs;
        outputs.reserve(listing.files.size());
        for (const ListedFile& file : listing.files)
            outputs.push_back({&archive, file.dataOffset, file.dataSize, file.text});
        // The log's lines, as extraction bounds them: a name of at most 16 characters, "." and an extension
        // of at most 7, two "_" and CR LF.
        constexpr std::int64_t kLogLineBound = 16 + 1 + 7 + 2 + 2;
        requireWavSpace(request, selection.targetfile, outputs,
                        static_cast<std::int64_t>(listing.files.size()) * kLogLineBound);
    }
    ProgressBar bar;
    ExtractCallbacks callbacks;
    callbacks.progress = [&bar](float value) { bar.set(value); };
    callbacks.stop = request.stop;
    // A stop asked for while a file is converted takes effect before the next file.
    callbacks.written = [&request, convert = std::move(convert)](const std::string& path) {
        if (convert)
            convert(path);
        stopIfRequested(request.stop);
    };
    extractArchive(selection, callbacks);
    return 0;
}

} // namespace qm::cli
