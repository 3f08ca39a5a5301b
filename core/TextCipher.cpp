#include "TextCipher.h"

#include <array>
#include <cstdint>

namespace qm {

namespace {

constexpr std::array<std::uint8_t, 64> kKey = {
    0x88, 0xa8, 0x8f, 0xba, 0x8a, 0xd3, 0xb9, 0xf5, 0xed, 0xb1, 0xcf, 0xea, 0xaa, 0xe4, 0xb5, 0xfb,
    0xeb, 0x82, 0xf9, 0x90, 0xca, 0xc9, 0xb5, 0xe7, 0xdc, 0x8e, 0xb7, 0xac, 0xee, 0xf7, 0xe0, 0xca,
    0x8e, 0xea, 0xca, 0x80, 0xce, 0xc5, 0xad, 0xb7, 0xc4, 0xd0, 0x84, 0x93, 0xd5, 0xf0, 0xeb, 0xc8,
    0xb4, 0x9d, 0xcc, 0xaf, 0xa5, 0x95, 0xba, 0x99, 0x87, 0xd2, 0x9d, 0xe3, 0x91, 0xba, 0x90, 0xca};

constexpr std::string_view kMark = "\xFF\xFF";

// The key restarts with the first byte after the mark.
std::string xorWithKey(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(static_cast<std::uint8_t>(out[i]) ^ kKey[i % kKey.size()]);
    return out;
}

} // namespace

bool isEncryptedText(std::string_view bytes) {
    return bytes.starts_with(kMark);
}

std::string decryptText(std::string_view bytes) {
    if (!isEncryptedText(bytes))
        return std::string(bytes);
    return xorWithKey(bytes.substr(kMark.size()));
}

std::string encryptText(std::string_view plain) {
    return std::string(kMark) + xorWithKey(plain);
}

} // namespace qm
