#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "Command.h"
#include "Escape.h"
#include "Extract.h"
#include "HostPath.h"
#include "Interrupt.h"
#include "Patterns.h"

#include <set>

namespace qm::cli {

// The chosen files into WorkDir, each once and in list order; prints each path once its file is whole.
int pickCommand(const Request& request, Streams& streams) {
    const std::string& archive = request.words.at(0);
    const SelectionState selection = chooseArchive(request.game, archive);
    const ArchiveListing listing = listArchive(selection, {});
    std::vector<std::string> texts;
    texts.reserve(listing.files.size());
    for (const auto& file : listing.files)
        texts.push_back(file.text);
    std::set<int> picked;
    for (const std::size_t i : chosenEntries(
             texts, std::vector<std::string>(request.words.begin() + 1, request.words.end()), archive))
        picked.insert(static_cast<int>(i));
    const auto convert = outputConverter(request, streams.err);
    if (request.wav) {
        ByteReader bif(locateArchive(selection), ByteReader::kRandomAccessBuffer);
        std::vector<StoredOutput> outputs;
        for (const int i : picked) {
            const ListedFile& file = listing.files.at(static_cast<std::size_t>(i));
            outputs.push_back({&bif, file.dataOffset, file.dataSize, file.text});
        }
        requireWavSpace(request, "WorkDir", outputs, 0);
    }
    ProgressBar bar;
    PickCallbacks callbacks;
    callbacks.isChecked = [&picked](int i) { return picked.count(i) != 0; };
    callbacks.uncheck = [&picked](int i) { picked.erase(i); };
    callbacks.progress = [&bar](float value) { bar.set(value); };
    callbacks.stop = request.stop;
    // So an interrupted run has printed exactly the files it wrote; a path that cannot be printed stops it.
    callbacks.written = [&](const std::string& gamePath, const std::filesystem::path& path) {
        printWritten(convert, gamePath, path, bar, streams);
        stopIfRequested(request.stop);
    };
    extractSelected(selection, texts, callbacks);
    return 0;
}

} // namespace qm::cli
