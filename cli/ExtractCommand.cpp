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
    callbacks.stop = request.stop;
    // A stop asked for while a file is converted takes effect before the next file.
    callbacks.written = [&request, convert = outputConverter(request, streams.err)](const std::string& path) {
        if (convert)
            convert(path);
        stopIfRequested(request.stop);
    };
    extractArchive(selection, callbacks);
    return 0;
}

} // namespace qm::cli
