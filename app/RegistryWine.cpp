#include "Registry.h"

namespace qm {

bool readregvalue(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                  std::string& result) {
    const std::filesystem::path prefix = winePrefix();
    const char* file = root == kHkeyLocalMachine  ? "system.reg"
                       : root == kHkeyCurrentUser ? "user.reg"
                                                  : nullptr;
    if (prefix.empty() || file == nullptr) {
        result.clear();
        return false;
    }
    return readWineRegistryValue(prefix / file, keyPath, valueName, result);
}

} // namespace qm
