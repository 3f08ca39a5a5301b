// The string table over arbitrary "Dialog.tlk" bytes, from memory. Bytes 0-1 are the string number, the
// rest is the table; an input of fewer than two bytes is an empty table.
#include "ByteSource.h"
#include "Endian.h"
#include "Sandbox.h"
#include "StringTable.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace {

// The input's own bytes, read in place.
qm::StringTable tableOf(std::span<const std::byte> bytes) {
    return qm::StringTable(std::make_unique<qm::MemorySource>(bytes, "Dialog.tlk"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::int16_t n = qm::endian::loadI16(qm::endian::asBytes(data, size), 0);
    const std::span<const std::byte> bytes =
        size >= 2 ? qm::endian::asBytes(data + 2, size - 2) : std::span<const std::byte>();

    const std::string text = tableOf(bytes).get(n);
    if (text.size() > 32767)
        qm::fuzz::fail("a string longer than its 16-bit length");
    // A kept table answers as a fresh one does, in any order of questions.
    qm::StringTable kept = tableOf(bytes);
    const std::int16_t others[] = {n, 0, static_cast<std::int16_t>(n - 1), static_cast<std::int16_t>(n + 1),
                                   3};
    for (const std::int16_t m : others) {
        const std::string expected = m == n ? text : tableOf(bytes).get(m);
        if (kept.get(m) != expected)
            qm::fuzz::fail("the kept table disagrees with a fresh one for string " + std::to_string(m));
    }
    return 0;
}
