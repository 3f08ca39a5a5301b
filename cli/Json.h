#pragma once

#include "Output.h"

#include <nlohmann/json.hpp>

namespace qm::cli {

// A JSON document as one line per element of the top-level array, for scripts and people alike. Text
// that is not valid UTF-8 (a host path on Linux can be any bytes) is written with U+FFFD in its place.
void writeJson(Output& out, const nlohmann::json& document);

} // namespace qm::cli
