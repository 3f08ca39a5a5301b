#pragma once

#include "FileError.h"

#include <string_view>

namespace qm {

// The existence tests on game-style paths. A failure they do not expect is thrown as FatalFileError.
// True when the file can be opened for reading, false when it is missing.
bool fileexist(std::string_view filepath);
// True when a folder, or a file, of that name exists; false when it does not, leaving nothing behind.
bool direxist(std::string_view dirpath);

} // namespace qm
