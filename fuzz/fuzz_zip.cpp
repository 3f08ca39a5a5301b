// The zip layer over arbitrary bytes from memory: a damaged zip or member is a FileError, never a crash,
// and what a member yields is exactly its declared size.
#include "ByteSource.h"
#include "FileError.h"
#include "Sandbox.h"
#include "ZipArchive.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// Small enough that a member's declared size cannot make one input slow.
constexpr std::uint64_t kInflateLimit = std::uint64_t{1} << 20;
constexpr std::size_t kMembersRead = 16;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<qm::ZipArchive> zip;
    try {
        zip = std::make_unique<qm::ZipArchive>(std::string(reinterpret_cast<const char*>(data), size),
                                               "fuzz.zip", kInflateLimit);
    } catch (const qm::FileError&) {
        return 0;
    }
    for (std::size_t i = 0; i < zip->members().size() && i < kMembersRead; ++i) {
        const qm::ZipArchive::Member& member = zip->members()[i];
        (void)zip->find(member.name);
        try {
            const std::unique_ptr<qm::ByteSource> source = zip->open(i);
            if (static_cast<std::uint64_t>(source->length()) != member.size)
                qm::fuzz::fail("a member of another length than it declares");
            std::byte buffer[512];
            const std::int64_t length = source->length();
            for (const std::int64_t at : {std::int64_t{0}, length / 2, length - 1, length}) {
                const std::size_t got = source->readAt(at, buffer);
                if (static_cast<std::int64_t>(got) > std::max<std::int64_t>(length - at, 0))
                    qm::fuzz::fail("read past a member's end");
            }
        } catch (const qm::FileError&) {
        }
    }
    return 0;
}
