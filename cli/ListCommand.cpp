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
        nlohmann::json list = nlohmann::json::array();
        for (const auto& name : names)
            list.push_back({{"name", gameText(name)}});
        writeJson(streams.out, list);
        return 0;
    }
    for (const auto& name : names)
        streams.out.write(escapeField(gameText(name)) + '\n');
    return 0;
}

} // namespace qm::cli
