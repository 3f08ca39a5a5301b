// The editor's look-ups of one entry: its data's place and an item's name.
#include "Extract.h"

#include "ArchiveLocation.h"
#include "ByteReader.h"
#include "DataCopy.h"
#include "HostPath.h"
#include "Records.h"
#include "StringTable.h"

namespace qm {

namespace {

// An item's name: the string reference at offset 0x0c of its data.
constexpr std::int64_t kItemNameField = 0x0c;

} // namespace

EntryDetails readEntryDetails(const SelectionState& archive, int index) {
    ByteReader bif(locateArchive(archive), ByteReader::kRandomAccessBuffer);
    return readEntryDetails(bif, index);
}

EntryDetails readEntryDetails(ByteReader& bif, int index) {
    const DataBounds bounds = entryDataBounds(bif, index);
    EntryDetails details{bounds.dataOffset, bounds.dataSize, 0};
    // Item files keep their name's string reference at bytes 12-15 of their data; the Enhanced Edition's
    // tables need all 32 bits. For other data the number means nothing and nobody shows it.
    const std::int64_t field = static_cast<std::int64_t>(bounds.dataOffset) + kItemNameField;
    if (bounds.dataOffset >= 0 && field + 4 <= bif.length()) {
        bif.seek(field);
        details.nameIndex = bif.readI32();
    } else if (bounds.dataOffset >= 0 && field + 2 <= bif.length()) {
        bif.seek(field);
        details.nameIndex = bif.readI16();
    }
    return details;
}

std::string tlkstring(const std::string& BGpath, std::int32_t n, const std::string& lang) {
    return StringTable(BGpath, lang).get(n);
}

} // namespace qm
