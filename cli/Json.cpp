#include "Json.h"

namespace qm::cli {

void writeJson(Output& out, const nlohmann::json& document) {
    constexpr auto replace = nlohmann::json::error_handler_t::replace;
    if (!document.is_array() || document.empty()) {
        out.write(document.dump(-1, ' ', false, replace) + '\n');
        return;
    }
    std::string text = "[\n";
    for (std::size_t i = 0; i < document.size(); ++i) {
        text += "  ";
        text += document[i].dump(-1, ' ', false, replace);
        text += i + 1 < document.size() ? ",\n" : "\n";
        if (text.size() > (1u << 16)) {
            out.write(text);
            text.clear();
        }
    }
    text += "]\n";
    out.write(text);
}

} // namespace qm::cli
