// The catalogue's readers over arbitrary "chitin.key" bytes, from memory: the scan of the archive table
// and the resource table that the walks hold.
#include "ByteReader.h"
#include "ByteSource.h"
#include "Catalogue.h"
#include "Endian.h"
#include "FileError.h"
#include "Records.h"
#include "Sandbox.h"
#include "Text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::ByteReader key(std::make_unique<qm::MemorySource>(qm::endian::asBytes(data, size), "chitin.key"));

    // A readable catalogue never fails the scan, whatever it holds.
    std::vector<std::string> names = qm::listbifs(key);
    if (names.size() > 141)
        qm::fuzz::fail("more names than archive entries read");
    for (const std::string& name : names)
        if (!qm::equalsIgnoreCase(name, "CREATURE.BIF") && !qm::equalsIgnoreCase(name, "ITEMS.BIF") &&
            !qm::equalsIgnoreCase(name, "SPELLS.BIF") && !qm::equalsIgnoreCase(name, "CHASOUND.BIF"))
            qm::fuzz::fail("listed an unsupported name: " + name);
    qm::sortArchiveNames(names);

    // The resource table: whole entries only, never more than the bytes behind its offset hold.
    try {
        const auto records = qm::readResourceTable(key);
        if (static_cast<std::int64_t>(records.size()) * qm::kResourceEntrySize >
            static_cast<std::int64_t>(size))
            qm::fuzz::fail("more resource entries than the catalogue holds");
    } catch (const qm::FileError& e) {
        // Only an offset before the file's start is refused.
        if (e.number() != qm::BadRecordNumber)
            qm::fuzz::fail("the resource table failed with " + std::to_string(e.number()));
    }
    return 0;
}
