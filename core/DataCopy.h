#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm {

class ByteReader;
class ByteWriter;
class StopRequest;

// DataOffset and DataSize of file entry `index` (0-based); 62 when the entry lies past the archive's end.
struct DataBounds;
DataBounds entryDataBounds(ByteReader& archive, std::int64_t index);

// Whether a file's data lie inside an archive of `archiveLength` bytes; an empty or negative size copies
// nothing wherever it points.
bool dataInside(std::int64_t archiveLength, std::int32_t dataOffset, std::int32_t dataSize);

// Fails unless the data lie inside the archive: 63 for data before its start, 62 past its end. A failure
// names the archive and the entry, `index` (0-based, or -1 for none known) with its list text.
void checkBounds(const ByteReader& archive, std::int32_t dataOffset, std::int32_t dataSize,
                 std::int64_t index, const std::string& text);

// Copies the data to the output's end in pieces of 65535 bytes, in the kernel where it can, else through
// `buffer`, grown to the largest piece; `afterRead` (when given) gets the bytes copied so far after each
// piece is read. Before each piece (and once for empty data) a requested `stop` throws Interrupted; the
// caller removes what stands half written.
void copyData(ByteReader& archive, ByteWriter& out, std::int32_t dataOffset, std::int32_t dataSize,
              std::vector<std::byte>& buffer, const std::function<void(std::int64_t)>& afterRead = {},
              const StopRequest* stop = nullptr);

} // namespace qm
