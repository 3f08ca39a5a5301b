#include "WholeFile.h"

#include "ByteWriter.h"
#include "FileError.h"
#include "FileSystem.h"

#include <fstream>
#include <optional>
#include <system_error>

namespace qm {

namespace fs = std::filesystem;

std::optional<std::string> readSmallFile(const fs::path& path, std::uintmax_t limit) {
    std::error_code ec;
    if (path.empty() || !fs::is_regular_file(path, ec))
        return std::nullopt;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > limit)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        return std::nullopt;
    // One byte more than the size asked for tells a file that grew meanwhile.
    std::string bytes(static_cast<std::size_t>(size) + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > size)
        return std::nullopt;
    return bytes;
}

void writeAtomically(const fs::path& path, const std::function<void(ByteWriter&)>& fill) {
    fs::path partPath = path;
    partPath += ".quillmere-part";
    std::optional<ByteWriter> out;
    try {
        out.emplace(partPath, ByteWriter::Mode::CreateNew);
    } catch (const FileError& e) {
        if (e.number() != FileAlreadyExists)
            throw;
        // Left by a run that was stopped, or planted: replaced, never written through.
        filesystem::removeFile(partPath);
        out.emplace(partPath, ByteWriter::Mode::CreateNew);
    }
    try {
        fill(*out);
        out->close();
        filesystem::replaceFile(partPath, path);
    } catch (...) {
        out.reset();
        std::error_code ec;
        fs::remove(partPath, ec);
        throw;
    }
}

void writeAtomically(const fs::path& path, std::string_view bytes) {
    writeAtomically(path, [bytes](ByteWriter& out) { out.write(bytes); });
}

} // namespace qm
