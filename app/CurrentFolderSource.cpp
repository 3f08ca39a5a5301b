#include "GameSources.h"

namespace qm::discovery {

// An empty BGpath makes every game file relative to the current folder.
void fromCurrentFolder(Candidates& list, const Places&) {
    list.add("current folder", std::string(), GameCandidate::Use::Fallback);
}

} // namespace qm::discovery
