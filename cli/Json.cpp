#include "Json.h"

namespace qm::cli {

void JsonRows::add(const nlohmann::json& row) {
    m_text += m_any ? ",\n  " : "[\n  ";
    m_any = true;
    m_text += row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (m_text.size() > (1u << 16)) {
        m_out.write(m_text);
        m_text.clear();
    }
}

void JsonRows::finish() {
    m_text += m_any ? "\n]\n" : "[]\n";
    m_out.write(m_text);
    m_text.clear();
}

} // namespace qm::cli
