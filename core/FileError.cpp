#include "FileError.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

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

FileError errorFromErrno(int err, const std::string& hostPath) {
    switch (err) {
    case ENOENT: {
        std::error_code ec;
        // The text is UTF-8 (displayPath); a narrow path would be read in the ANSI code page on Windows.
        const auto parent =
            std::filesystem::path(std::u8string(hostPath.begin(), hostPath.end())).parent_path();
        if (!parent.empty() && !std::filesystem::is_directory(parent, ec))
            return FileError(PathNotFound, hostPath);
        return FileError(FileNotFound, hostPath);
    }
    case ENOTDIR:
        return FileError(PathNotFound, hostPath);
    case EEXIST:
        return FileError(FileAlreadyExists, hostPath);
    case EACCES:
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
