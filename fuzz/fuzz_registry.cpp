// The Wine registry reader over an arbitrary "system.reg", and the mapping of the folder it names
// through the prefix's drive links.
#include "GameFolder.h"
#include "Registry.h"
#include "Sandbox.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kGameKey = "SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qm::fuzz::Sandbox sandbox;
    static const bool prepared = [] {
        setenv("WINEPREFIX", sandbox.game().c_str(), 1);
        return true;
    }();
    (void)prepared;
    sandbox.reset(
        {{"system.reg", std::string(data, data + size)}, {"drive_c/Games/BG/chitin.key", "KEY V1  "}},
        {{"dosdevices/c:", "../drive_c"}});
    const int openBefore = qm::fuzz::openFileCount();

    std::string direct = "unchanged";
    const bool found = qm::readWineRegistryValue(sandbox.game() / "system.reg", kGameKey, "Path", direct);
    if (!found && !direct.empty())
        qm::fuzz::fail("a failed read left text behind");
    if (direct.size() > 1024)
        qm::fuzz::fail("a value longer than the buffer");
    std::string viaPrefix = "unchanged";
    if (qm::readregvalue(qm::kHkeyLocalMachine, kGameKey, "Path", viaPrefix) != found || viaPrefix != direct)
        qm::fuzz::fail("readregvalue disagrees with the file it reads");
    if (found && !direct.empty())
        qm::mapWinePath(sandbox.game(), direct);

    if (qm::fuzz::openFileCount() != openBefore)
        qm::fuzz::fail("the registry file was left open");
    sandbox.check();
    return 0;
}
