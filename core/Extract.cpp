// The editor's look-ups of one entry: its data's place and an item's name.
#include "Extract.h"

#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "DataCopy.h"
#include "HostPath.h"
#include "Records.h"
#include "StringTable.h"

namespace qm {

EntryDetails readEntryDetails(const SelectionState& archive, int index) {
    ByteReader bif(locateArchive(archive), ByteReader::kRandomAccessBuffer);
    return readEntryDetails(bif, index);
}

EntryDetails readEntryDetails(ByteReader& bif, int index) {
    const DataBounds bounds = entryDataBounds(bif, index);
    EntryDetails details{bounds.dataOffset, bounds.dataSize, 0};
    // Item files keep their name's string reference at bytes 12-15 of their data; the Enhanced Edition's
    // tables need all 32 bits. For other data the number means nothing and nobody shows it.
    if (bounds.dataOffset >= 0 && static_cast<std::int64_t>(bounds.dataOffset) + 16 <= bif.length()) {
        bif.seek(static_cast<std::int64_t>(bounds.dataOffset) + 13);
        details.nameIndex = bif.readI32();
    } else if (bounds.dataOffset >= 0 && static_cast<std::int64_t>(bounds.dataOffset) + 14 <= bif.length()) {
        bif.seek(static_cast<std::int64_t>(bounds.dataOffset) + 13);
        details.nameIndex = bif.readI16();
    }
    return details;
}

std::string tlkstring(const std::string& BGpath, std::int32_t n, const std::string& lang) {
    return StringTable(BGpath, lang).get(n);
}

} // namespace qm
