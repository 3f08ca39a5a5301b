#include "Command.h"
#include "Escape.h"
#include "GameResources.h"
#include "Json.h"

namespace qm::cli {

GameResources::Warn warnings(std::ostream& err) {
    return [&err](const std::string& message) {
        err << "quillmere-cli: warning: " << escapeField(message) << '\n';
    };
}

// Every archive of the game's catalogue in its order, then each DLC's.
int archivesCommand(const Request& request, Streams& streams) {
    const GameResources game(request.game.BGpath, request.game.lang, warnings(streams.err));
    if (request.json) {
        JsonRows list(streams.out);
        for (const GameArchive& archive : game.archives())
            list.add({{"index", archive.index},
                      {"name", gameText(archive.name)},
                      {"resources", archive.resources},
                      {"size", archive.size},
                      {"path", archive.path ? nlohmann::json(*archive.path) : nlohmann::json(nullptr)},
                      {"catalogue", archive.catalogue}});
        list.finish();
        return 0;
    }
    for (const GameArchive& archive : game.archives())
        streams.out.write(std::to_string(archive.index) + '\t' + escapeField(gameText(archive.name)) + '\t' +
                          std::to_string(archive.resources) + '\t' + std::to_string(archive.size) + '\t' +
                          (archive.path ? escapeField(*archive.path) : std::string()) + '\t' +
                          escapeField(archive.catalogue) + '\n');
    return 0;
}

} // namespace qm::cli
