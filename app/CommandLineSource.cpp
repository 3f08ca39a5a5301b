#include "GameSources.h"

namespace qm::discovery {

// `quillmere DIR` and `--game DIR`: taken as given, so that a folder the user names is never overruled.
void fromCommandLine(Candidates& list, const std::optional<std::string>& folder) {
    if (folder)
        list.add("command line", withFolderSeparator(*folder), GameCandidate::Use::Given);
}

} // namespace qm::discovery
