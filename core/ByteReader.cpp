#include "ByteReader.h"

#include "ByteSource.h"
#include "Endian.h"
#include "FileError.h"

#include <utility>

namespace qm {

ByteReader::ByteReader(const std::filesystem::path& hostPath, std::size_t bufferSize)
    : ByteReader(openFileSource(hostPath, bufferSize)) {}

ByteReader::ByteReader(std::unique_ptr<ByteSource> source)
    : m_source(std::move(source)), m_length(m_source->length()) {}

ByteReader::~ByteReader() = default;
ByteReader::ByteReader(ByteReader&& other) noexcept = default;
ByteReader& ByteReader::operator=(ByteReader&& other) noexcept = default;

void ByteReader::close() {
    m_source.reset();
}

std::string ByteReader::name() const {
    return m_source ? m_source->name() : std::string();
}

int ByteReader::fileDescriptor() const {
    return m_source ? m_source->fileDescriptor() : -1;
}

void ByteReader::seek(std::int64_t offset) {
    if (offset < 0)
        throw FileError(BadRecordNumber, name());
    m_position = offset;
}

std::size_t ByteReader::read(std::span<std::byte> out) {
    if (out.empty()) {
        m_ranShort = false;
        return 0;
    }
    const std::size_t got = m_source->readAt(m_position, out);
    m_position += static_cast<std::int64_t>(got);
    m_ranShort = got < out.size();
    return got;
}

void ByteReader::readExact(std::span<std::byte> out) {
    if (read(out) != out.size())
        throw FileError(InputPastEndOfFile, m_source->name());
}

std::int16_t ByteReader::readI16() {
    std::byte b[2]{};
    read(b);
    return endian::loadI16(b, 0);
}

std::int32_t ByteReader::readI32() {
    std::byte b[4]{};
    read(b);
    return endian::loadI32(b, 0);
}

} // namespace qm
