#include "Catalogue.h"
#include "Command.h"
#include "Escape.h"
#include "Json.h"

namespace qm::cli {

// The supported archives, as the main window lists them.
int listCommand(const Request& request, Streams& streams) {
    auto names = listbifs(request.game.BGpath);
    sortArchiveNames(names);
    if (request.json) {
        JsonRows list(streams.out);
        for (const auto& name : names)
            list.add({{"name", gameText(name)}});
        list.finish();
        return 0;
    }
    for (const auto& name : names)
        streams.out.write(escapeField(gameText(name)) + '\n');
    return 0;
}

} // namespace qm::cli
