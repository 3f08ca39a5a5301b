#pragma once

#include <cstdint>
#include <filesystem>

namespace qm {

// Folder and file operations on host paths, failing with numbered FileErrors.
namespace filesystem {

// Length in bytes of a file; 53 when it is missing.
std::int64_t fileLength(const std::filesystem::path& path);
// Deletes a file; 53 when it is missing.
void removeFile(const std::filesystem::path& path);
// Creates one folder; 75 when a folder or file of that name exists, 76 when its parent is missing.
void makeDir(const std::filesystem::path& path);
void removeDir(const std::filesystem::path& path);
// Opens a file for reading and closes it again: true when that works, false when the file is missing;
// every other failure (a missing folder on the way, a folder of that name, no permission) is thrown.
bool canOpenForReading(const std::filesystem::path& path);

// The existence tests. fileExists: the file can be opened for reading (false when it is missing).
// dirExists: a folder or file of that name exists, found by creating the folder and removing it again
// at once. Any failure they do not expect is thrown as FatalFileError.
bool fileExists(const std::filesystem::path& path);
bool dirExists(const std::filesystem::path& path);

// The existence test of an output about to be replaced: a link or a pipe, socket or device at the name
// counts as existing without being opened or followed; anything else is asked as fileExists asks.
bool outputExists(const std::filesystem::path& path);
// An output folder must be a real folder: a symbolic link (wherever it points) or anything that is not
// a folder is 75, naming it, so nothing is written through it. Where names are matched without regard to
// case, a link beside it whose name differs only in case is refused the same way, naming the link.
void requireRealFolder(const std::filesystem::path& path);
// Moves a file over another name; what stood there (a link, a pipe, another name of the same data) is
// replaced, never followed.
void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Holds an advisory lock on an output folder for one run, so that a second run into the same folder
// fails at once (75) instead of mixing its files and log lines with the first: flock on Linux; on Windows
// the folder held open without sharing its reading, which another lock asks for but creating files in the
// folder does not.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    [[maybe_unused]] int m_fd = -1;
    [[maybe_unused]] void* m_handle = nullptr; // Windows
};

} // namespace filesystem
} // namespace qm
