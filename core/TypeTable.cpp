#include "TypeTable.h"

#include "Text.h"

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

std::string describeEnding(const std::string& listText) {
    static const std::array<std::pair<std::string_view, std::string_view>, 17> kTable = {{
        {"BMP", "Graphics files, Area Maps overview ?"},
        {"WAV", "Sounds Files,\r\nNot yet playable"},
        {"BAM", "Graphics and animations files,\r\nunknow format type"},
        {"MOS", "Area Data files "},
        {"IDS", "Unidentified"},
        {"WED", "Area Data files"},
        {"ITM", "Items Definitions files"},
        {"SPL", "Spells Definitions files"},
        {"BCS", "Monsters' Scripts"},
        {"2DA", "Unidentified, part of Default.bif"},
        {"CRE", "Monsters Definitions files"},
        {"DLG", "Dialogs Scripts files"},
        {"GAM", "Unidentified, part of Default.bif"},
        {"STO", "Store Data files"},
        {"WMP", "World Map files ?"},
        {"MVE", "Interplay Movie files"},
        {"ARE", "Area Definitions files"},
    }};
    const std::string ending =
        asciiUpper(listText.size() >= 3 ? listText.substr(listText.size() - 3) : listText);
    for (const auto& [key, text] : kTable)
        if (key == ending)
            return std::string(text);
    return "Unknow File Type, Please inform Tavrin \r\n"
           "ICQ 31415926\r\n"
           "quillmere@example.org, thanks :-)";
}

} // namespace qm
