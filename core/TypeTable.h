#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// The extension for a resource type code; codes without one give the decimal code with a sign position
// (" 3", "-1"), which then ends up in file names and list texts as it is.
std::string ExtensionForType(std::int16_t type);

// The extension of a resource type by the format's documented table (1003 TIS, 1008 IDS, 1012 2DA, ...), for
// everything beyond the four listed archives; an unknown code falls back to ExtensionForType.
std::string documentedExtension(std::uint16_t type);
// The type code of an extension of that table (ASCII letter case ignored), as the game reads a file
// name in override/; none for an extension the table does not hold.
std::optional<std::uint16_t> documentedType(std::string_view extension);

// The description the editor shows for a list text, by its last three characters, upper-cased. Lines
// are separated by CR LF.
std::string describeEnding(const std::string& listText);

} // namespace qm
