#include "SafeName.h"

#include "Text.h"

namespace qm {

std::string safeName(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    }
    return out;
}

std::string windowsSafeFileName(std::string_view fileName) {
    std::string out(fileName);
    const std::string stem = asciiUpper(fileName.substr(0, fileName.find('.')));
    const bool numbered = stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
                          stem[3] >= '1' && stem[3] <= '9';
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || numbered)
        out.insert(out.begin(), '_');
    if (!out.empty() && (out.back() == '.' || out.back() == ' '))
        out += '_';
    return out;
}

std::string windowsOutputName(std::string fileName) {
#ifdef _WIN32
    return windowsSafeFileName(fileName);
#else
    return fileName;
#endif
}

} // namespace qm
