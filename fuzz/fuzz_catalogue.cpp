// The catalogue scan over arbitrary "chitin.key" bytes.
#include "Catalogue.h"
#include "Sandbox.h"
#include "Text.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qm::fuzz::Sandbox sandbox;
    sandbox.reset({{"chitin.key", std::string(data, data + size)}});
    const int openBefore = qm::fuzz::openFileCount();

    // A readable catalogue never fails the scan, whatever it holds.
    std::vector<std::string> names = qm::listbifs(sandbox.gamePrefix());
    if (names.size() > 141)
        qm::fuzz::fail("more names than archive entries read");
    for (const std::string& name : names) {
        const std::string upper = qm::asciiUpper(name);
        if (upper != "CREATURE.BIF" && upper != "ITEMS.BIF" && upper != "SPELLS.BIF" &&
            upper != "CHASOUND.BIF")
            qm::fuzz::fail("listed an unsupported name: " + name);
    }
    qm::sortArchiveNames(names);

    if (qm::fuzz::openFileCount() != openBefore)
        qm::fuzz::fail("the catalogue was left open");
    sandbox.check();
    return 0;
}
