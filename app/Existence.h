#pragma once

#include "FileError.h"

#include <string_view>

namespace qm {

// Thrown by the existence tests for a failure they do not expect. The windows answer it with the fatal
// "ERROR" box and end the program; the command line reports it and exits.
class FatalFileError : public FileError {
public:
    explicit FatalFileError(const FileError& cause) : FileError(cause) {}
};

// True when the file can be opened for reading, false when it is missing.
bool fileexist(std::string_view filepath);
// True when a folder, or a file, of that name exists; false when it does not, leaving nothing behind.
bool direxist(std::string_view dirpath);

} // namespace qm
