// The catalogue and archive readers as the format defines them, over arbitrary bytes from memory: the
// same input read as a KEY and as a BIF.
#include "BifIndex.h"
#include "ByteSource.h"
#include "Endian.h"
#include "KeyFile.h"
#include "Sandbox.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = qm::endian::asBytes(data, size);

    qm::MemorySource keySource(bytes, "mod.key");
    const qm::KeyFile key = qm::KeyFile::read(keySource);
    // Whole entries only, never more than the file holds.
    if (key.archives().size() * qm::kKeyArchiveEntrySize > size ||
        key.resources().size() * qm::kKeyResourceEntrySize > size)
        qm::fuzz::fail("more catalogue entries than the file holds");
    if (key.archives().size() > key.storedArchiveCount() ||
        key.resources().size() > key.storedResourceCount())
        qm::fuzz::fail("more catalogue entries than the header counts");
    for (const qm::KeyFile::Archive& archive : key.archives()) {
        if (archive.name.size() > archive.nameLength || archive.name.find('\0') != std::string::npos)
            qm::fuzz::fail("an archive name past its length or its NUL");
        const std::string relative = qm::archiveRelativePath(archive.name);
        if (relative.starts_with('/') || relative.find_first_of("\\:") != std::string::npos ||
            ("/" + relative + "/").find("/../") != std::string::npos)
            qm::fuzz::fail("an archive path that may leave its folder: " + relative);
    }
    for (const qm::KeyFile::Resource& resource : key.resources())
        if (resource.resRef.size() > 8)
            qm::fuzz::fail("a ResRef longer than 8 bytes");

    qm::MemorySource bifSource(bytes, "data.bif");
    const qm::BifIndex bif = qm::BifIndex::read(bifSource);
    if (bif.files().size() * qm::kBifFileEntrySize > size ||
        bif.tilesets().size() * qm::kBifTilesetEntrySize > size)
        qm::fuzz::fail("more archive entries than the file holds");
    // A catalogue's locators find entries whose own locators carry the same index.
    for (const qm::KeyFile::Resource& resource : key.resources()) {
        if (const auto* file = bif.file(resource.locator);
            file != nullptr && qm::locatorFile(file->locator) != qm::locatorFile(resource.locator))
            qm::fuzz::fail("a file entry of another index");
        if (const auto* tileset = bif.tileset(resource.locator);
            tileset != nullptr &&
            qm::locatorTileset(tileset->locator) != qm::locatorTileset(resource.locator))
            qm::fuzz::fail("a tileset entry of another index");
    }
    return 0;
}
