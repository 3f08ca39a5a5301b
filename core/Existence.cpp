#include "Existence.h"

#include "FileSystem.h"
#include "HostPath.h"

namespace qm {

bool fileexist(std::string_view filepath) {
    return filesystem::fileExists(hostPath(filepath));
}

bool direxist(std::string_view dirpath) {
    return filesystem::dirExists(hostPath(dirpath));
}

} // namespace qm
