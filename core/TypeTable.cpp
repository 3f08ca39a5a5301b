#include "TypeTable.h"

#include <array>
#include <string_view>

namespace qm {

std::string ExtensionForType(std::int16_t type) {
    // 1001..1015 are one consecutive run; 1012 and 1013 both are saved games.
    static constexpr std::array<std::string_view, 15> kRun = {"WED", "CHU", "IDS", "MOS", "ITM",
                                                              "SPL", "BCS", "2DA", "CRE", "ARE",
                                                              "DLG", "GAM", "GAM", "STO", "WMP"};
    switch (type) {
    case 1:
        return "BMP";
    case 2:
        return "MVE";
    case 4:
        return "WAV";
    case 1000:
        return "BAM";
    default:
        break;
    }
    if (type >= 1001 && type <= 1015)
        return std::string(kRun[static_cast<std::size_t>(type - 1001)]);
    // Positive codes get a blank where the minus sign would stand.
    std::string text = type < 0 ? "" : " ";
    text += std::to_string(type);
    return text;
}

} // namespace qm
