#include "RegistryValue.h"

#include <algorithm>

namespace qm::registry {

std::string numberText(std::string_view bytes) {
    if (bytes.empty())
        return {};
    const std::size_t count = std::min<std::size_t>(bytes.size(), 4);
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    // An "&h" literal of up to four digits is a 16-bit number, of up to eight a 32-bit one, both signed.
    if (count <= 2)
        return std::to_string(static_cast<std::int16_t>(value));
    return std::to_string(static_cast<std::int32_t>(value));
}

bool takeValue(std::uint32_t type, std::string_view bytes, std::string& result) {
    if (bytes.size() > kBufferSize) {
        result.clear();
        return false;
    }
    // The byte at the reported length is the terminator when the value was stored with one; only that
    // one is dropped, so a value stored without it is kept whole.
    if (!bytes.empty() && bytes.back() == '\0')
        bytes.remove_suffix(1);
    switch (type) {
    case kString:
        result.assign(bytes);
        break;
    case kNumber:
        result = numberText(bytes);
        break;
    default:
        break; // expandable strings and every other type leave the result alone
    }
    return true;
}

} // namespace qm::registry
