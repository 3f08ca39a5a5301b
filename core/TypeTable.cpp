#include "TypeTable.h"

#include "Text.h"

#include <array>
#include <optional>
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

namespace {

// The format's documented type codes and their extensions.
constexpr std::array<std::pair<std::uint16_t, std::string_view>, 44> kDocumentedTypes = {{
    {0x0001, "BMP"},  {0x0002, "MVE"},  {0x0004, "WAV"},  {0x0005, "WFX"},  {0x0006, "PLT"}, {0x03e8, "BAM"},
    {0x03e9, "WED"},  {0x03ea, "CHU"},  {0x03eb, "TIS"},  {0x03ec, "MOS"},  {0x03ed, "ITM"}, {0x03ee, "SPL"},
    {0x03ef, "BCS"},  {0x03f0, "IDS"},  {0x03f1, "CRE"},  {0x03f2, "ARE"},  {0x03f3, "DLG"}, {0x03f4, "2DA"},
    {0x03f5, "GAM"},  {0x03f6, "STO"},  {0x03f7, "WMP"},  {0x03f8, "EFF"},  {0x03f9, "BS"},  {0x03fa, "CHR"},
    {0x03fb, "VVC"},  {0x03fc, "VEF"},  {0x03fd, "PRO"},  {0x03fe, "BIO"},  {0x03ff, "WBM"}, {0x0400, "FNT"},
    {0x0402, "GUI"},  {0x0403, "SQL"},  {0x0404, "PVRZ"}, {0x0405, "GLSL"}, {0x0406, "TOT"}, {0x0407, "TOH"},
    {0x0408, "MENU"}, {0x0409, "LUA"},  {0x040a, "TTF"},  {0x040b, "PNG"},  {0x044c, "BAH"}, {0x0802, "INI"},
    {0x0803, "SRC"},  {0x0804, "MAZE"},
}};

} // namespace

std::string documentedExtension(std::uint16_t type) {
    for (const auto& [code, extension] : kDocumentedTypes)
        if (code == type)
            return std::string(extension);
    return ExtensionForType(static_cast<std::int16_t>(type));
}

std::optional<std::uint16_t> documentedType(std::string_view extension) {
    for (const auto& [code, known] : kDocumentedTypes)
        if (equalsIgnoreCase(known, extension))
            return code;
    return std::nullopt;
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
