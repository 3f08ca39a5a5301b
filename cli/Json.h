#pragma once

#include "Output.h"

#include <nlohmann/json.hpp>
#include <string>

namespace qm::cli {

// A JSON array written row by row, one object per line, so that a listing of the whole game never holds
// more than one row as a document. Text that is not valid UTF-8 (a host path on Linux can be any bytes) is
// written with U+FFFD in its place.
class JsonRows {
public:
    explicit JsonRows(Output& out) : m_out(out) {}
    ~JsonRows() = default;
    JsonRows(const JsonRows&) = delete;
    JsonRows& operator=(const JsonRows&) = delete;

    void add(const nlohmann::json& row);
    // Closes the array; an array without rows is "[]".
    void finish();

private:
    Output& m_out;
    std::string m_text;
    bool m_any = false;
};

} // namespace qm::cli
