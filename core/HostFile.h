#pragma once

#include <cstdio>
#include <filesystem>

namespace qm {

// Opens a host file with a C library mode ("rb", "wb", "ab"); a failure is thrown as a numbered
// FileError, and a folder of that name is 75 on every host.
std::FILE* openHostFile(const std::filesystem::path& hostPath, const char* mode);

} // namespace qm
