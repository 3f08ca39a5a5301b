#pragma once

#include <string>
#include <string_view>

namespace qm {

// The game stores some text tables (IDS, 2DA) encrypted to deter casual edits: the bytes FF FF, then
// the text with byte i XORed with byte i % 64 of one fixed 64-byte key.
bool isEncryptedText(std::string_view bytes);

// The plain text of an encrypted table; text without the FF FF mark is returned as it is, so every
// table can pass through here.
std::string decryptText(std::string_view bytes);

// FF FF and the text XORed with the key: what decryptText turns back into `plain`.
std::string encryptText(std::string_view plain);

} // namespace qm
