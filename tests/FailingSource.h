#pragma once

#include "ByteSource.h"
#include "FileError.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace qm::test {

// Bytes in memory whose reads fail with error `number` once they reach byte `failAt`: a disk that gives
// out in the middle of a file.
class FailingSource : public MemorySource {
public:
    FailingSource(std::string bytes, std::int64_t failAt, int number)
        : MemorySource(std::move(bytes), "failing"), m_failAt(failAt), m_number(number) {}
    std::size_t readAt(std::int64_t offset, std::span<std::byte> out) override {
        if (offset + static_cast<std::int64_t>(out.size()) > m_failAt && offset < length())
            throw FileError(m_number, name());
        return MemorySource::readAt(offset, out);
    }

private:
    std::int64_t m_failAt;
    int m_number;
};

} // namespace qm::test
