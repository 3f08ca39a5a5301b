#include "ByteWriter.h"

#include "FileError.h"
#include "HostPath.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <utility>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace qm {

namespace {

#ifdef _WIN32
int openFor(const std::filesystem::path& path, ByteWriter::Mode mode) {
    int flags = _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT;
    flags |= mode == ByteWriter::Mode::Append      ? _O_APPEND
             : mode == ByteWriter::Mode::CreateNew ? _O_EXCL
                                                   : _O_TRUNC;
    return _wopen(path.c_str(), flags, _S_IREAD | _S_IWRITE);
}
long writeSome(int fd, const char* data, std::size_t size) {
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
int closeFile(int fd) {
    return _close(fd);
}
#else
int openFor(const std::filesystem::path& path, ByteWriter::Mode mode) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    flags |= mode == ByteWriter::Mode::Append      ? O_APPEND
             : mode == ByteWriter::Mode::CreateNew ? O_EXCL
                                                   : O_TRUNC;
    return ::open(path.c_str(), flags, 0666);
}
long writeSome(int fd, const char* data, std::size_t size) {
    return ::write(fd, data, size);
}
int closeFile(int fd) {
    return ::close(fd);
}
#endif

} // namespace

ByteWriter::ByteWriter(const std::filesystem::path& hostPath, Mode mode)
    : m_fd(openFor(hostPath, mode)), m_path(hostPath.native()) {
    if (m_fd >= 0)
        return;
    const int err = errno;
#ifdef _WIN32
    // Windows answers "access denied" for a folder; Linux's EISDIR already gives 75.
    if (std::error_code ec; err == EACCES && std::filesystem::is_directory(hostPath, ec))
        throw FileError(PathFileAccessError, displayPath(hostPath));
#endif
    throw errorFromErrno(err, displayPath(hostPath));
}

ByteWriter::~ByteWriter() {
    if (m_fd < 0)
        return;
    try {
        flush();
    } catch (const FileError&) {
        // Closing quietly: the failure that unwound the caller is the one to report.
    }
    closeFile(m_fd);
}

void ByteWriter::writeOut(const char* data, std::size_t size) {
    while (size > 0) {
        const long n = writeSome(m_fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw errorFromErrno(n < 0 ? errno : ENOSPC, name());
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void ByteWriter::write(std::span<const std::byte> bytes) {
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    if (m_buffer.size() + bytes.size() > kBufferSize)
        flush();
    // A whole chunk leaves in one write of its own.
    if (bytes.size() >= kBufferSize) {
        writeOut(data, bytes.size());
        return;
    }
    m_buffer.insert(m_buffer.end(), data, data + bytes.size());
}

void ByteWriter::write(std::string_view text) {
    write(std::as_bytes(std::span(text.data(), text.size())));
}

void ByteWriter::flush() {
    if (m_buffer.empty())
        return;
    // Whatever happens, the bytes are handed over once: a failed write is not repeated at close.
    struct Emptied {
        std::vector<char>& buffer;
        ~Emptied() { buffer.clear(); }
    } emptied{m_buffer};
    writeOut(m_buffer.data(), m_buffer.size());
}

int ByteWriter::flushedDescriptor() {
    flush();
    return m_fd;
}

std::string ByteWriter::name() const {
    return displayPath(std::filesystem::path(m_path));
}

void ByteWriter::close() {
    if (m_fd < 0)
        return;
    try {
        flush();
    } catch (const FileError&) {
        closeFile(std::exchange(m_fd, -1));
        throw;
    }
    if (closeFile(std::exchange(m_fd, -1)) != 0)
        throw errorFromErrno(errno != 0 ? errno : EIO, name());
}

} // namespace qm
