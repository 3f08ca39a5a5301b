#pragma once

#include <string>
#include <string_view>

namespace qm {

// A catalogue name as it may be shown, logged and used in a file name: every path separator, character
// that Windows forbids in a file name (\ / : * ? " < > |) and control code becomes "_". Names are always
// followed by "." and an extension, so the result never names "." or "..".
std::string safeName(std::string_view name);

} // namespace qm
