#include "Command.h"
#include "Extract.h"
#include "Interrupt.h"

namespace qm::cli {

// Every file of the archive into the folder named after it, with its log.
int extractCommand(const Request& request, Streams& streams) {
    const SelectionState selection = chooseArchive(request.game, request.words.at(0));
    ProgressBar bar;
    ExtractCallbacks callbacks;
    callbacks.progress = [&bar](float value) { bar.set(value); };
    // A stop asked for meanwhile takes effect once the file being written is whole.
    callbacks.written = [convert = outputConverter(request, streams.err)](const std::string& path) {
        if (convert)
            convert(path);
        stopIfRequested();
    };
    extractArchive(selection, callbacks);
    return 0;
}

} // namespace qm::cli
