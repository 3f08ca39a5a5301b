#include "ByteReader.h"

#include "FileError.h"
#include "HostFile.h"
#include "HostPath.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace qm {

ByteReader::ByteReader(const std::filesystem::path& hostPath, std::size_t bufferSize) : m_path(hostPath) {
    m_file = openHostFile(hostPath, "rb");
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
        m_file = nullptr;
        throw FileError(PathFileAccessError, displayPath(hostPath));
    }
    m_length = static_cast<std::int64_t>(st.st_size);
    m_buffer = std::make_unique<char[]>(bufferSize);
    std::setvbuf(m_file, m_buffer.get(), _IOFBF, bufferSize);
}

ByteReader::~ByteReader() {
    if (m_file != nullptr)
        std::fclose(m_file);
}

ByteReader::ByteReader(ByteReader&& other) noexcept
    : m_file(std::exchange(other.m_file, nullptr)), m_buffer(std::move(other.m_buffer)),
      m_path(std::move(other.m_path)), m_length(other.m_length), m_position(other.m_position),
      m_ranShort(other.m_ranShort) {}

ByteReader& ByteReader::operator=(ByteReader&& other) noexcept {
    if (this != &other) {
        close();
        m_file = std::exchange(other.m_file, nullptr);
        m_buffer = std::move(other.m_buffer);
        m_path = std::move(other.m_path);
        m_length = other.m_length;
        m_position = other.m_position;
        m_ranShort = other.m_ranShort;
    }
    return *this;
}

void ByteReader::close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

void ByteReader::seek(std::int64_t position) {
    if (position < 1)
        throw FileError(BadRecordNumber, displayPath(m_path));
    if (position == m_position)
        return;
#ifdef _WIN32
    const int rc = _fseeki64(m_file, position - 1, SEEK_SET);
#else
    const int rc = fseeko(m_file, static_cast<off_t>(position - 1), SEEK_SET);
#endif
    if (rc != 0)
        throw errorFromErrno(errno, displayPath(m_path));
    m_position = position;
}

std::size_t ByteReader::read(std::span<std::byte> out) {
    if (out.empty()) {
        m_ranShort = false;
        return 0;
    }
    const std::size_t got = std::fread(out.data(), 1, out.size(), m_file);
    if (got < out.size() && std::ferror(m_file)) {
        const int err = errno;
        std::clearerr(m_file);
        throw errorFromErrno(err != 0 ? err : EIO, displayPath(m_path));
    }
    std::clearerr(m_file); // keep later reads possible after a seek back from the end
    m_position += static_cast<std::int64_t>(got);
    m_ranShort = got < out.size();
    return got;
}

void ByteReader::readExact(std::span<std::byte> out) {
    if (read(out) != out.size())
        throw FileError(InputPastEndOfFile, displayPath(m_path));
}

std::uint8_t ByteReader::readU8() {
    std::byte b[1]{};
    read(b);
    return static_cast<std::uint8_t>(b[0]);
}

std::int16_t ByteReader::readI16() {
    std::byte b[2]{};
    read(b);
    return static_cast<std::int16_t>(
        static_cast<std::uint16_t>(std::to_integer<unsigned>(b[0]) | (std::to_integer<unsigned>(b[1]) << 8)));
}

std::int32_t ByteReader::readI32() {
    std::byte b[4]{};
    read(b);
    const std::uint32_t v =
        std::to_integer<std::uint32_t>(b[0]) | (std::to_integer<std::uint32_t>(b[1]) << 8) |
        (std::to_integer<std::uint32_t>(b[2]) << 16) | (std::to_integer<std::uint32_t>(b[3]) << 24);
    return static_cast<std::int32_t>(v);
}

} // namespace qm
