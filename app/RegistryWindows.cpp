#include "Registry.h"
#include "RegistryValue.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <windows.h>

namespace qm {

namespace {

HKEY rootHandle(std::uint32_t root) {
    // Predefined keys are their 32-bit numbers sign-extended to a handle.
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
}

} // namespace

bool readregvalue(std::uint32_t root, const std::string& keyPath, const std::string& valueName,
                  std::string& result) {
    const HKEY rootKey = rootHandle(root);
    HKEY key = nullptr;
    // Read rights only, so a user who may not change the key still reads it. A 64-bit build looks in the
    // 32-bit view too, where the game's 32-bit installer wrote.
    LONG status = RegOpenKeyExA(rootKey, keyPath.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS)
        status = RegOpenKeyExA(rootKey, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key);
    bool ok = false;
    if (status == ERROR_SUCCESS) {
        std::array<BYTE, registry::kBufferSize> buffer{};
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(buffer.size());
        if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer.data(), &size) == ERROR_SUCCESS) {
            const std::string_view bytes(reinterpret_cast<const char*>(buffer.data()),
                                         std::min<std::size_t>(size, buffer.size()));
            ok = registry::takeValue(type, bytes, result);
        }
        RegCloseKey(key);
    }
    if (!ok)
        result.clear();
    return ok;
}

} // namespace qm
