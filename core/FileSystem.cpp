#include "FileSystem.h"

#include "ByteReader.h"
#include "FileError.h"
#include "HostPath.h"
#include "Text.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm::filesystem {

namespace fs = std::filesystem;

namespace {

// A symbolic link, or on Windows any reparse point (a junction, a mount point) at the name itself.
bool isLink(const fs::path& path, const fs::file_status& status) {
    if (fs::is_symlink(status))
        return true;
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    (void)path;
    return false;
#endif
}

} // namespace

std::int64_t fileLength(const fs::path& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    // A folder on the way that cannot be searched is its own failure, not a missing file.
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
        throw errorFromErrno(ec.value(), displayPath(path));
    if (ec || !fs::exists(status))
        throw errorFromErrno(ENOENT, displayPath(path));
    if (fs::is_directory(status))
        throw FileError(FileNotFound, displayPath(path));
    const auto size = fs::file_size(path, ec);
    if (ec)
        throw errorFromErrno(ec.value(), displayPath(path));
    return static_cast<std::int64_t>(size);
}

void removeFile(const fs::path& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw FileError(PathFileAccessError, displayPath(path));
#ifdef _WIN32
    const int rc = _wremove(path.c_str());
#else
    const int rc = std::remove(path.c_str());
#endif
    if (rc != 0)
        throw errorFromErrno(errno, displayPath(path));
}

void makeDir(const fs::path& path) {
#ifdef _WIN32
    const int rc = _wmkdir(path.c_str());
#else
    const int rc = ::mkdir(path.c_str(), 0777);
#endif
    if (rc == 0)
        return;
    const int err = errno;
    // Creating over an existing folder or file is a path/file access error on the original platform.
    if (err == EEXIST)
        throw FileError(PathFileAccessError, displayPath(path));
    throw errorFromErrno(err, displayPath(path));
}

void removeDir(const fs::path& path) {
#ifdef _WIN32
    const int rc = _wrmdir(path.c_str());
#else
    const int rc = ::rmdir(path.c_str());
#endif
    if (rc != 0)
        throw errorFromErrno(errno, displayPath(path));
}

bool canOpenForReading(const fs::path& path) {
    try {
        ByteReader probe(path, ByteReader::kRandomAccessBuffer);
        return true;
    } catch (const FileError& e) {
        if (e.number() == FileNotFound)
            return false;
        throw;
    }
}

bool outputExists(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (!ec && (isLink(path, status) || fs::is_fifo(status) || fs::is_socket(status) ||
                fs::is_block_file(status) || fs::is_character_file(status)))
        return true;
    return fileExists(path);
}

void requireRealFolder(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (isLink(path, status))
        throw FileError(PathFileAccessError, "an output folder is a symbolic link", displayPath(path));
    if (!ec && !fs::is_directory(status))
        throw FileError(PathFileAccessError, "an output folder is not a folder", displayPath(path));
#ifndef _WIN32
    // Names are found without regard to case, so a link spelt otherwise beside the folder is the folder
    // under another spelling: a path made elsewhere in that spelling would lead through it.
    const fs::path name = path.filename();
    const std::string upper = asciiUpper(name.native());
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path other = it->path().filename();
        if (other != name && asciiUpper(other.native()) == upper && it->is_symlink(ec))
            throw FileError(PathFileAccessError, "an output folder is a symbolic link",
                            displayPath(path.has_parent_path() ? it->path() : other));
    }
#endif
}

void replaceFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec)
        throw errorFromErrno(ec.value(), displayPath(to));
}

FolderLock::FolderLock(const fs::path& folder) {
#ifndef _WIN32
    m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0)
        throw errorFromErrno(errno, displayPath(folder));
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
        throw FileError(PathFileAccessError, "another extraction is writing into this folder",
                        displayPath(folder));
    }
#else
    // Reading the folder is what a second lock asks for; creating, writing and deleting files in it stay
    // shared. A link or junction is not followed.
    HANDLE handle =
        CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (err == ERROR_SHARING_VIOLATION)
            throw FileError(PathFileAccessError, "another extraction is writing into this folder",
                            displayPath(folder));
        throw FileError(err == ERROR_PATH_NOT_FOUND || err == ERROR_FILE_NOT_FOUND ? PathNotFound
                                                                                   : PathFileAccessError,
                        displayPath(folder));
    }
    m_handle = handle;
#endif
}

FolderLock::~FolderLock() {
#ifndef _WIN32
    if (m_fd >= 0)
        ::close(m_fd);
#else
    if (m_handle != nullptr)
        CloseHandle(static_cast<HANDLE>(m_handle));
#endif
}

bool fileExists(const fs::path& path) {
    try {
        return canOpenForReading(path);
    } catch (const FileError& e) {
        if (e.number() == FileAlreadyExists)
            return true;
        throw FatalFileError(e);
    }
}

bool dirExists(const fs::path& path) {
    try {
        makeDir(path);
    } catch (const FileError& e) {
        if (e.number() == PathFileAccessError)
            return true;
        throw FatalFileError(e);
    }
    try {
        removeDir(path);
    } catch (const FileError& e) {
        throw FatalFileError(e);
    }
    return false;
}

} // namespace qm::filesystem
