#pragma once

#include <stdexcept>
#include <string>

namespace qm {

// Numbered failures of the file layer. The numbers are the ones the original platform used, so messages
// and callers keep their meaning across hosts.
enum ErrorNumber : int {
    BadFileName = 52,
    FileNotFound = 53,
    FileAlreadyExists = 58,
    DiskFull = 61,
    InputPastEndOfFile = 62,
    BadRecordNumber = 63,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    PathNotFound = 76,
};

// The descriptive text for a failure number; unknown numbers get a generic text.
std::string errorDescription(int number);

class FileError : public std::runtime_error {
public:
    FileError(int number, const std::string& path);
    FileError(int number, const std::string& description, const std::string& path);

    int number() const { return m_number; }
    const std::string& description() const { return m_description; }
    // The file or folder the failure concerns, as the host spells it (may be empty).
    const std::string& path() const { return m_path; }

private:
    int m_number;
    std::string m_description;
    std::string m_path;
};

// A failure that an existence test does not expect. The windows answer it with the fatal "ERROR" box and
// end the program; the command line reports it and exits.
class FatalFileError : public FileError {
public:
    explicit FatalFileError(const FileError& cause) : FileError(cause) {}
};

// Maps a host errno from an operation on `hostPath` to a numbered failure. ENOENT becomes 76 when the
// parent folder is missing and 53 otherwise, as the original platform distinguished them.
FileError errorFromErrno(int err, const std::string& hostPath);

} // namespace qm
