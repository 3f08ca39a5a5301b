#include "Existence.h"

#include "FileSystem.h"
#include "HostPath.h"

namespace qm {

bool fileexist(std::string_view filepath) {
    try {
        return filesystem::canOpenForReading(hostPath(filepath));
    } catch (const FileError& e) {
        // A file that exists but cannot be created again is still a file that exists.
        if (e.number() == FileAlreadyExists)
            return true;
        throw FatalFileError(e);
    }
}

bool direxist(std::string_view dirpath) {
    const auto path = hostPath(dirpath);
    try {
        filesystem::makeDir(path);
    } catch (const FileError& e) {
        if (e.number() == PathFileAccessError)
            return true;
        throw FatalFileError(e);
    }
    // The test created the folder; it removes it again so that it leaves nothing behind.
    try {
        filesystem::removeDir(path);
    } catch (const FileError& e) {
        throw FatalFileError(e);
    }
    return false;
}

} // namespace qm
