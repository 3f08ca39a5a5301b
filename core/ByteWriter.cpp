#include "ByteWriter.h"

#include "FileError.h"
#include "HostFile.h"
#include "HostPath.h"

#include <cerrno>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

namespace qm {

ByteWriter::ByteWriter(const std::filesystem::path& hostPath, Mode mode) : m_path(hostPath) {
    if (mode == Mode::CreateNew) {
#ifdef _WIN32
        // CREATE_NEW underneath: a name taken by anything, a link or junction included, fails.
        const int fd =
            _wopen(hostPath.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        m_file = fd < 0 ? nullptr : _fdopen(fd, "wb");
        if (fd >= 0 && m_file == nullptr)
            _close(fd);
#else
        // O_CREAT | O_EXCL ("x"), which also refuses a link at the name, dangling or not, and O_CLOEXEC.
        m_file = std::fopen(hostPath.c_str(), "wbxe");
#endif
        if (m_file == nullptr)
            throw errorFromErrno(errno, displayPath(hostPath));
    }
    if (m_file == nullptr)
        m_file = openHostFile(hostPath, mode == Mode::Append ? "ab" : "wb");
    // One chunk fits the buffer whole, so each chunk leaves in one write. Left uninitialised: most
    // outputs are copied in the kernel and never touch it.
    m_buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    std::setvbuf(m_file, m_buffer.get(), _IOFBF, kBufferSize);
}

ByteWriter::~ByteWriter() {
    if (m_file != nullptr)
        std::fclose(m_file);
}

void ByteWriter::write(std::span<const std::byte> bytes) {
    if (bytes.empty())
        return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
        throw errorFromErrno(errno != 0 ? errno : ENOSPC, displayPath(m_path));
}

void ByteWriter::write(std::string_view text) {
    write(std::as_bytes(std::span(text.data(), text.size())));
}

void ByteWriter::flush() {
    errno = 0;
    if (std::fflush(m_file) != 0)
        throw errorFromErrno(errno != 0 ? errno : EIO, displayPath(m_path));
}

int ByteWriter::flushedDescriptor() {
    flush();
#ifdef _WIN32
    return -1;
#else
    return fileno(m_file);
#endif
}

std::string ByteWriter::name() const {
    return displayPath(m_path);
}

void ByteWriter::close() {
    if (m_file == nullptr)
        return;
    errno = 0;
    const bool flushed = std::fflush(m_file) == 0;
    const int err = errno;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!flushed || !closed)
        throw errorFromErrno(err != 0 ? err : (errno != 0 ? errno : EIO), displayPath(m_path));
}

} // namespace qm
