// The string-table look-up over arbitrary "Dialog.tlk" bytes. Bytes 0-1 are the string number, the
// rest is the table; an input of fewer than two bytes means there is no table at all.
#include "Extract.h"
#include "Sandbox.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qm::fuzz::Sandbox sandbox;
    std::map<std::string, std::string> files;
    std::int16_t n = 0;
    if (size >= 2) {
        n = static_cast<std::int16_t>(static_cast<std::uint16_t>(data[0] | (data[1] << 8)));
        files["Dialog.tlk"] = std::string(data + 2, data + size);
    }
    sandbox.reset(files);
    const int openBefore = qm::fuzz::openFileCount();
    const std::string prefix = sandbox.gamePrefix();

    const std::string text = qm::tlkstring(prefix, n);
    if (text.size() > 32767)
        qm::fuzz::fail("a string longer than its 16-bit length");
    // The kept table must answer as the one-off look-up does, in any order of questions.
    {
        qm::StringTable table(prefix);
        const std::int16_t others[] = {n, 0, static_cast<std::int16_t>(n - 1),
                                       static_cast<std::int16_t>(n + 1), 3};
        for (const std::int16_t m : others) {
            const std::string expected = m == n ? text : qm::tlkstring(prefix, m);
            if (table.get(m) != expected)
                qm::fuzz::fail("the kept table disagrees with tlkstring for string " + std::to_string(m));
        }
    }

    if (qm::fuzz::openFileCount() != openBefore)
        qm::fuzz::fail("the string table was left open");
    sandbox.check();
    return 0;
}
