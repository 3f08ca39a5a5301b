#include "GameSources.h"

#include <cstdlib>

namespace qm::discovery {

void fromEnvironment(Candidates& list) {
    if (const char* dir = std::getenv("QUILLMERE_GAME_DIR"); dir != nullptr && *dir != '\0')
        list.add("QUILLMERE_GAME_DIR", withFolderSeparator(dir), GameCandidate::Use::Given);
}

} // namespace qm::discovery
