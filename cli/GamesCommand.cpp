#include "Command.h"
#include "Escape.h"
#include "GameFolder.h"
#include "Json.h"

namespace qm::cli {

// Every folder discovery looks at, so a user can see why it chose the one it uses. Folders are host text
// with control codes and backslashes escaped as `files` escapes names; "." is the current folder.
int gamesCommand(const Request& request, Streams& streams) {
    const std::vector<GameCandidate> candidates = gameFolderCandidates(request.gameOption);
    const std::size_t chosen = chosenCandidate(candidates);
    if (request.json) {
        JsonRows list(streams.out);
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const GameCandidate& c = candidates[i];
            list.add({{"used", i == chosen},
                      {"source", hostText(c.source)},
                      {"folder", c.folder.empty() ? std::string(".") : hostText(c.folder)},
                      {"catalogue", c.hasCatalogue}});
        }
        list.finish();
        return 0;
    }
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const GameCandidate& c = candidates[i];
        std::string row = i == chosen ? "*\t" : "\t";
        row += escapeField(hostText(c.source));
        row += '\t';
        row += c.folder.empty() ? std::string(".") : escapeField(hostText(c.folder));
        row += c.hasCatalogue ? "\tcatalogue\n" : "\tno catalogue\n";
        streams.out.write(row);
    }
    return 0;
}

} // namespace qm::cli
