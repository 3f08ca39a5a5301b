#include "ByteSource.h"

#include "FileError.h"
#include "HostFile.h"
#include "HostPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qm {

namespace {

class FileSource : public ByteSource {
public:
    FileSource(const std::filesystem::path& hostPath, std::size_t bufferSize)
        : m_path(hostPath), m_file(open(hostPath)) {
#ifdef _WIN32
        // The 64-bit call, as the plain one holds a file's length in 32 bits.
        struct _stat64 st {};
        const bool folder = _fstat64(_fileno(m_file), &st) != 0 || (st.st_mode & _S_IFMT) == _S_IFDIR;
#else
        struct stat st {};
        const bool folder = fstat(fileno(m_file), &st) != 0 || S_ISDIR(st.st_mode);
#endif
        if (folder) {
            std::fclose(m_file);
            throw FileError(PathFileAccessError, displayPath(hostPath));
        }
        m_length = static_cast<std::int64_t>(st.st_size);
        m_buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
        std::setvbuf(m_file, m_buffer.get(), _IOFBF, bufferSize);
    }
    ~FileSource() override {
        std::fclose(m_file);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::int64_t length() const override {
        return m_length;
    }
    std::string name() const override {
        return displayPath(m_path);
    }
    int fileDescriptor() const override {
#ifdef _WIN32
        return -1;
#else
        return fileno(m_file);
#endif
    }

    std::size_t readAt(std::int64_t offset, std::span<std::byte> out) override {
        // Sequential reads go on where the last one stopped, through the buffer; only jumps seek.
        if (offset != m_offset) {
#ifdef _WIN32
            const int rc = _fseeki64(m_file, offset, SEEK_SET);
#else
            const int rc = fseeko(m_file, static_cast<off_t>(offset), SEEK_SET);
#endif
            if (rc != 0)
                throw errorFromErrno(errno, name());
            m_offset = offset;
        }
        const std::size_t got = std::fread(out.data(), 1, out.size(), m_file);
        if (got < out.size() && std::ferror(m_file)) {
            const int err = errno;
            std::clearerr(m_file);
            m_offset = -1; // where the stream stands is unknown now
            throw errorFromErrno(err != 0 ? err : EIO, name());
        }
        std::clearerr(m_file); // keep later reads possible after a seek back from the end
        m_offset += static_cast<std::int64_t>(got);
        return got;
    }

private:
    // A game file is read only when it is a regular file: a pipe or a device at its name would block the
    // program or never end, so it is opened without blocking, looked at, and taken for a missing file.
    static std::FILE* open(const std::filesystem::path& hostPath) {
#ifdef _WIN32
        return openHostFile(hostPath, "rb");
#else
        const int fd = ::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            throw errorFromErrno(errno, displayPath(hostPath));
        struct stat st {};
        if (fstat(fd, &st) != 0 || (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))) {
            ::close(fd);
            throw FileError(FileNotFound, displayPath(hostPath));
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        std::FILE* file = fdopen(fd, "rb");
        if (file == nullptr) {
            const int err = errno;
            ::close(fd);
            throw errorFromErrno(err, displayPath(hostPath));
        }
        return file;
#endif
    }

    std::filesystem::path m_path;
    std::FILE* m_file;
    std::unique_ptr<char[]> m_buffer; // outlives the FILE that uses it
    std::int64_t m_length = 0;
    std::int64_t m_offset = 0;
};

} // namespace

std::unique_ptr<ByteSource> openFileSource(const std::filesystem::path& hostPath, std::size_t bufferSize) {
    return std::make_unique<FileSource>(hostPath, bufferSize);
}

std::size_t MemorySource::readAt(std::int64_t offset, std::span<std::byte> out) {
    if (offset < 0 || offset >= length())
        return 0;
    const std::size_t got = std::min(out.size(), m_view.size() - static_cast<std::size_t>(offset));
    std::memcpy(out.data(), m_view.data() + offset, got);
    return got;
}

} // namespace qm
