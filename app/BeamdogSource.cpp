#include "GameSources.h"
#include "HostPath.h"

#include <cstdlib>
#include <system_error>

namespace qm::discovery {

// Beamdog's client installs its games by number; 00806 is Baldur's Gate: Enhanced Edition.
void fromBeamdog([[maybe_unused]] Candidates& list, const Places&) {
#ifdef _WIN32
    const char* programs = std::getenv("ProgramFiles(x86)");
    if (programs == nullptr || *programs == '\0')
        return;
    const std::string folder = withFolderSeparator(programs) + "BeamDog\\Games\\00806\\";
    std::error_code ec;
    if (std::filesystem::is_directory(hostPath(folder), ec))
        list.add("Beamdog", folder);
#endif
}

} // namespace qm::discovery
