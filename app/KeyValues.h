#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// One entry of Valve's text KeyValues format, as Steam writes libraryfolders.vdf and its
// appmanifest_*.acf files: a key and either a text or a block of entries.
struct KeyValue {
    std::string key;
    std::string text;
    std::vector<KeyValue> block;
    bool isBlock = false;
};

// Parses the whole text: keys and texts quoted ("\\" and "\"" escaped, "\n" and "\t" too) or bare,
// blocks in braces, "//" comments to the end of the line, "[$WIN32]"-style conditions ignored. Nothing
// when the text is damaged anywhere (an unclosed quote or block, a key without its text), so a broken
// file is never half read.
std::optional<std::vector<KeyValue>> parseKeyValues(std::string_view text);

// The same over a file: only a regular file of at most `maxBytes` is read, never a pipe or a device.
std::optional<std::vector<KeyValue>> readKeyValuesFile(const std::filesystem::path& file,
                                                       std::uintmax_t maxBytes);

// The first entry of `entries` named `key`, letter case ignored; null when there is none.
const KeyValue* findKey(const std::vector<KeyValue>& entries, std::string_view key);

} // namespace qm
