#include "GameSources.h"

#include <system_error>

namespace qm::discovery {

// GOG's Linux installers put the game below ~/GOG Games/<title>/game by default.
void fromGogFolders([[maybe_unused]] Candidates& list, [[maybe_unused]] const Places& places) {
#ifndef _WIN32
    if (places.home.empty())
        return;
    for (const char* title : {"Baldur's Gate Enhanced Edition", "Baldur's Gate"}) {
        const std::filesystem::path folder = places.home / "GOG Games" / title / "game";
        std::error_code ec;
        if (std::filesystem::is_directory(folder, ec) && !list.add("GOG folder", folderText(folder)))
            return;
    }
#endif
}

} // namespace qm::discovery
