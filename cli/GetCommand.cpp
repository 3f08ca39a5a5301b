#include "Command.h"
#include "Escape.h"
#include "Extract.h"
#include "FileError.h"
#include "GameResources.h"
#include "HostPath.h"
#include "Interrupt.h"

#include <set>

namespace qm::cli {

// The copy the game loads of each chosen resource into WorkDir, as pick writes files; prints each path once
// its file is whole. Resources whose archive is missing are the run's failure, named once the others are
// written.
int getCommand(const Request& request, Streams& streams) {
    GameResources game(request.game.BGpath, request.game.lang, warnings(streams.err), wantedBy(request));
    const std::vector<GameResource> chosen = chosenResources(game, request, false);
    std::vector<DataPick> picks;
    std::set<std::string> missing;
    for (const GameResource& resource : chosen) {
        if (resource.missing) {
            missing.insert(resource.archive ? gameText(game.archives().at(*resource.archive).name)
                                            : resource.name);
            continue;
        }
        const GameResources::Bytes bytes = game.locate(resource);
        picks.push_back({bytes.reader, bytes.offset, bytes.size, resource.name});
    }
    const auto convert = outputConverter(request, streams.err);
    std::vector<StoredOutput> outputs;
    for (const DataPick& pick : picks)
        outputs.push_back({pick.archive, pick.offset, pick.size, pick.text});
    requireWavSpace(request, "WorkDir", outputs, 0);
    ProgressBar bar;
    DataPickCallbacks callbacks;
    callbacks.progress = [&bar](float value) { bar.set(value); };
    callbacks.stop = request.stop;
    callbacks.written = [&](const std::string& gamePath, const std::filesystem::path& path) {
        printWritten(convert, gamePath, path, bar, streams);
        stopIfRequested(request.stop);
    };
    extractData(picks, callbacks);
    if (!missing.empty()) {
        std::string names;
        for (const std::string& name : missing)
            names += (names.empty() ? "" : ", ") + name;
        throw FileError(FileNotFound, "resources not written: their archive is not on disk: " + names, "");
    }
    return 0;
}

} // namespace qm::cli
