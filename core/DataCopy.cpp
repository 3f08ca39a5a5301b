#include "DataCopy.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "FileError.h"
#include "Interrupt.h"
#include "Records.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <span>
#ifdef __linux__
#include <unistd.h>
#endif

namespace qm {

namespace {

constexpr std::size_t kChunk = 65535;
constexpr std::int64_t kKernelChunk = std::int64_t{8} << 20;

#ifdef __linux__
// Set once the kernel refused a copy between two files; the rest of the run copies through the buffer.
std::atomic<bool> kernelCopyRefused{false};

// Copies `piece` bytes from 0-based `offset` of the archive to the output's end in the kernel. False when
// the kernel cannot copy between these files, before anything was copied.
bool kernelCopy(ByteReader& archive, ByteWriter& out, std::int64_t offset, std::size_t piece) {
    const int in = archive.fileDescriptor();
    if (in < 0 || kernelCopyRefused.load(std::memory_order_relaxed))
        return false;
    const int to = out.flushedDescriptor();
    auto from = static_cast<off_t>(offset);
    std::size_t done = 0;
    while (done < piece) {
        const ssize_t n = copy_file_range(in, &from, to, nullptr, piece - done, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && done == 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)) {
            kernelCopyRefused = true;
            return false;
        }
        if (n < 0) {
            const int err = errno;
            // A full disk or a size limit is the output's failure; anything else the archive's.
            throw errorFromErrno(err, err == ENOSPC || err == EFBIG || err == EDQUOT ? out.name()
                                                                                     : archive.name());
        }
        if (n == 0) // the archive shrank since its length was read
            throw FileError(InputPastEndOfFile, archive.name());
        done += static_cast<std::size_t>(n);
    }
    return true;
}
#else
bool kernelCopy(ByteReader&, ByteWriter&, std::int64_t, std::size_t) {
    return false;
}
#endif

} // namespace

DataBounds entryDataBounds(ByteReader& archive, std::int64_t index) {
    // DataOffset and DataSize, 8 bytes, must lie inside the archive.
    if (index < 0 || kFileTableOffset + kFileEntrySize * index + kDataOffsetField + 8 > archive.length())
        throw FileError(InputPastEndOfFile, "the file table runs past the end of the archive",
                        archive.name());
    return readDataBounds(archive, index);
}

bool dataInside(std::int64_t archiveLength, std::int32_t dataOffset, std::int32_t dataSize) {
    return dataSize <= 0 ||
           (dataOffset >= 0 && static_cast<std::int64_t>(dataOffset) + dataSize <= archiveLength);
}

void checkBounds(const ByteReader& archive, std::int32_t dataOffset, std::int32_t dataSize,
                 std::int64_t index, const std::string& text) {
    if (dataInside(archive.length(), dataOffset, dataSize))
        return;
    const std::string where =
        index < 0 ? archive.name() : archive.name() + ", entry " + std::to_string(index) + ": " + text;
    if (dataOffset < 0)
        throw FileError(BadRecordNumber, "the file's data start before the archive", where);
    throw FileError(InputPastEndOfFile, "the file's data run past the end of the archive", where);
}

void copyData(ByteReader& archive, ByteWriter& out, std::int32_t dataOffset, std::int32_t dataSize,
              std::vector<std::byte>& buffer, const std::function<void(std::int64_t)>& afterRead,
              const StopRequest* stop) {
    if (dataSize <= 0) {
        stopIfRequested(stop);
        return;
    }
    archive.seek(dataOffset);
    std::int64_t copied = 0;
    // The kernel copies without a buffer of ours, so without progress to report it takes large pieces: one
    // call for nearly every file, and still a stop between pieces of a very large one.
    const std::int64_t kernelChunk = afterRead ? static_cast<std::int64_t>(kChunk) : kKernelChunk;
    while (copied < dataSize) {
        stopIfRequested(stop);
        const auto kernelPiece = static_cast<std::size_t>(std::min(kernelChunk, dataSize - copied));
        if (kernelCopy(archive, out, static_cast<std::int64_t>(dataOffset) + copied, kernelPiece)) {
            copied += static_cast<std::int64_t>(kernelPiece);
            if (afterRead)
                afterRead(copied);
            continue;
        }
        const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(kChunk, dataSize - copied));
        if (buffer.size() < piece)
            buffer.resize(piece);
        archive.seek(static_cast<std::int64_t>(dataOffset) + copied);
        archive.readExact(std::span(buffer.data(), piece));
        copied += static_cast<std::int64_t>(piece);
        if (afterRead)
            afterRead(copied);
        out.write(std::span<const std::byte>(buffer.data(), piece));
    }
}

} // namespace qm
