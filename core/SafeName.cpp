#include "SafeName.h"

#include "Text.h"

#include <array>

namespace qm {

std::string safeName(std::string_view name) {
    // Every walk names each file through here, so the test is one look-up per byte.
    static constexpr auto kUnsafe = [] {
        std::array<bool, 256> unsafe{};
        for (int c = 0; c < 0x20; ++c)
            unsafe[static_cast<std::size_t>(c)] = true;
        unsafe[0x7F] = true;
        // The five bytes Windows-1252 leaves undefined decode to C1 controls (U+0081 ... U+009D).
        for (const int c : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
            unsafe[static_cast<std::size_t>(c)] = true;
        for (const char c : std::string_view("\\/:*?\"<>|"))
            unsafe[static_cast<unsigned char>(c)] = true;
        return unsafe;
    }();
    std::string out(name);
    for (char& c : out)
        if (kUnsafe[static_cast<unsigned char>(c)])
            c = '_';
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
