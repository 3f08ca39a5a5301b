#include "FileError.h"

#include <cerrno>
#include <filesystem>
#include <iterator>
#include <system_error>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace qm {

std::string errorDescription(int number) {
    switch (number) {
    case BadFileName:
        return "Bad file name or number";
    case FileNotFound:
        return "File not found";
    case FileAlreadyExists:
        return "File already exists";
    case DiskFull:
        return "Disk full";
    case InputPastEndOfFile:
        return "Input past end of file";
    case BadRecordNumber:
        return "Bad record number";
    case PermissionDenied:
        return "Permission denied";
    case PathFileAccessError:
        return "Path/File access error";
    case PathNotFound:
        return "Path not found";
    default:
        return "Application-defined or object-defined error";
    }
}

FileError::FileError(int number, const std::string& path)
    : FileError(number, errorDescription(number), path) {}

FileError::FileError(int number, const std::string& description, const std::string& path)
    : std::runtime_error(std::to_string(number) + " : " + description +
                         (path.empty() ? "" : " (" + path + ")")),
      m_number(number), m_description(description), m_path(path) {}

namespace {

#ifndef _WIN32
// The first folder on the way to `path` that cannot be searched, so that a refusal names the folder that
// refused rather than a file behind it; `path` itself when every folder on the way can be.
std::string refusingFolder(const std::string& path) {
    const std::filesystem::path full(path);
    std::filesystem::path folder;
    for (auto it = full.begin(); it != full.end() && std::next(it) != full.end(); ++it) {
        folder /= *it;
        if (::access(folder.c_str(), X_OK) != 0 && errno == EACCES)
            return folder.string();
    }
    return path;
}

// Whether the current folder was deleted while the program stood in it.
bool currentFolderGone() {
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) == nullptr && errno == ENOENT;
}
#endif

} // namespace

FileError errorFromErrno(int err, const std::string& hostPath) {
    switch (err) {
    case ENOENT: {
        std::error_code ec;
        // The text is UTF-8 (displayPath); a narrow path would be read in the ANSI code page on Windows.
        const auto path = std::filesystem::path(std::u8string(hostPath.begin(), hostPath.end()));
        const auto parent = path.parent_path();
        if (!parent.empty() && !std::filesystem::is_directory(parent, ec))
            return FileError(PathNotFound, hostPath);
#ifndef _WIN32
        if (path.is_relative() && currentFolderGone())
            return FileError(PathNotFound, "the current folder no longer exists", hostPath);
#endif
        return FileError(FileNotFound, hostPath);
    }
    case ENOTDIR:
        return FileError(PathNotFound, hostPath);
    case EEXIST:
        return FileError(FileAlreadyExists, hostPath);
    case EACCES:
#ifndef _WIN32
        return FileError(PermissionDenied, refusingFolder(hostPath));
#endif
    case EPERM:
    case EROFS:
        return FileError(PermissionDenied, hostPath);
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return FileError(DiskFull, hostPath);
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
        return FileError(BadFileName, hostPath);
    default:
        return FileError(PathFileAccessError, hostPath);
    }
}

} // namespace qm
