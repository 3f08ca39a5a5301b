#include "HostFile.h"

#include "FileError.h"
#include "HostPath.h"

#include <cerrno>
#include <string>
#include <system_error>

namespace qm {

std::FILE* openHostFile(const std::filesystem::path& hostPath, const char* mode) {
#ifdef _WIN32
    const std::string narrow(mode);
    std::FILE* file = _wfopen(hostPath.c_str(), std::wstring(narrow.begin(), narrow.end()).c_str());
#else
    std::FILE* file = std::fopen(hostPath.c_str(), mode);
#endif
    if (file != nullptr)
        return file;
    const int err = errno;
#ifdef _WIN32
    // Windows answers "access denied" for a folder; Linux's EISDIR already gives 75.
    if (std::error_code ec; std::filesystem::is_directory(hostPath, ec))
        throw FileError(PathFileAccessError, displayPath(hostPath));
#endif
    throw errorFromErrno(err, displayPath(hostPath));
}

} // namespace qm
