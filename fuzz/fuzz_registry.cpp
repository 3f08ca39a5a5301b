// The Wine registry reader over an arbitrary "system.reg", from memory, and the mapping of the folder it
// names through a prefix's drive links (a sandbox made once, which the mapping only reads).
#include "Registry.h"
#include "Sandbox.h"
#include "WinePath.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>

namespace {

constexpr const char* kGameKey = "SOFTWARE\\Microsoft\\DirectPlay\\Applications\\Baldur's Gate";

// The input's bytes as a stream, without a copy.
class InputBuffer : public std::streambuf {
public:
    InputBuffer(const std::uint8_t* data, std::size_t size) {
        char* begin = reinterpret_cast<char*>(const_cast<std::uint8_t*>(data));
        setg(begin, begin, begin + size);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static qm::fuzz::Sandbox sandbox;
    static const bool prepared = [] {
        sandbox.reset({{"drive_c/Games/BG/chitin.key", "KEY V1  "}}, {{"dosdevices/c:", "../drive_c"}});
        // Back to the folder libFuzzer started in, which its relative paths name.
        sandbox.check();
        return true;
    }();
    (void)prepared;

    InputBuffer buffer(data, size);
    std::istream file(&buffer);
    std::string value = "unchanged";
    const bool found = qm::readWineRegistryValue(file, kGameKey, "Path", value);
    if (!found && !value.empty())
        qm::fuzz::fail("a failed read left text behind");
    if (value.size() > 1024)
        qm::fuzz::fail("a value longer than the buffer");
    if (found && !value.empty())
        qm::mapWinePath(sandbox.game(), value);
    return 0;
}
