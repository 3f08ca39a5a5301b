#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace qm::test {

// Every entry below `root` with what it is: "dir", "link <target>", or "file <size> <digest of its
// bytes>". Below `skip` (the folder an operation may write to) nothing is listed but the folder itself.
// Compared before and after an operation, it shows any file written, removed or changed elsewhere.
using FolderState = std::map<std::string, std::string>;
FolderState folderState(const std::filesystem::path& root, const std::filesystem::path& skip = {});

// How many file descriptors this process holds open.
int openFileCount();

} // namespace qm::test
