#include "KeyValues.h"

#include "Text.h"
#include "WholeFile.h"

#include <algorithm>
#include <system_error>

namespace qm {

namespace {

// Deeper nesting than any file Steam writes; a file nested deeper is damaged, not a reason to recurse.
constexpr int kMaxDepth = 32;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class Tokens {
public:
    explicit Tokens(std::string_view text) : m_text(text) {}

    enum class Kind { End, Open, Close, Text, Damaged };

    // The next token; a text token's content is in `text`. Conditions such as [$WIN32] are passed over.
    Kind next(std::string& text) {
        for (;;) {
            skipSpace();
            if (m_pos >= m_text.size())
                return Kind::End;
            const char c = m_text[m_pos];
            if (c == '{' || c == '}') {
                ++m_pos;
                return c == '{' ? Kind::Open : Kind::Close;
            }
            if (c == '"')
                return quoted(text) ? Kind::Text : Kind::Damaged;
            bare(text);
            if (text.size() < 2 || text.front() != '[' || text.back() != ']')
                return Kind::Text;
        }
    }

private:
    void skipSpace() {
        while (m_pos < m_text.size()) {
            if (isSpace(m_text[m_pos]))
                ++m_pos;
            else if (m_text.substr(m_pos, 2) == "//")
                m_pos = std::min(m_text.find('\n', m_pos), m_text.size());
            else
                break;
        }
    }

    bool quoted(std::string& text) {
        text.clear();
        for (++m_pos; m_pos < m_text.size(); ++m_pos) {
            char c = m_text[m_pos];
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c == '\\' && m_pos + 1 < m_text.size()) {
                const char escaped = m_text[m_pos + 1];
                if (escaped == '\\' || escaped == '"' || escaped == 'n' || escaped == 't') {
                    c = escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
                    ++m_pos;
                }
            }
            text += c;
        }
        return false;
    }

    void bare(std::string& text) {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && !isSpace(m_text[m_pos]) && m_text[m_pos] != '"' &&
               m_text[m_pos] != '{' && m_text[m_pos] != '}')
            ++m_pos;
        text.assign(m_text.substr(start, m_pos - start));
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Entries up to the closing brace of the block at `depth`, or to the end of the text at depth 0.
bool parseEntries(Tokens& tokens, std::vector<KeyValue>& entries, int depth) {
    std::string token;
    for (;;) {
        switch (tokens.next(token)) {
        case Tokens::Kind::End:
            return depth == 0;
        case Tokens::Kind::Close:
            return depth > 0;
        case Tokens::Kind::Open:
        case Tokens::Kind::Damaged:
            return false;
        case Tokens::Kind::Text:
            break;
        }
        KeyValue entry;
        entry.key = std::move(token);
        switch (tokens.next(token)) {
        case Tokens::Kind::Text:
            entry.text = std::move(token);
            break;
        case Tokens::Kind::Open:
            entry.isBlock = true;
            if (depth + 1 >= kMaxDepth || !parseEntries(tokens, entry.block, depth + 1))
                return false;
            break;
        default:
            return false;
        }
        entries.push_back(std::move(entry));
    }
}

} // namespace

std::optional<std::vector<KeyValue>> parseKeyValues(std::string_view text) {
    Tokens tokens(text);
    std::vector<KeyValue> entries;
    if (!parseEntries(tokens, entries, 0))
        return std::nullopt;
    return entries;
}

std::optional<std::vector<KeyValue>> readKeyValuesFile(const std::filesystem::path& file,
                                                       std::uintmax_t maxBytes) {
    const std::optional<std::string> text = readSmallFile(file, maxBytes);
    if (!text)
        return std::nullopt;
    return parseKeyValues(*text);
}

const KeyValue* findKey(const std::vector<KeyValue>& entries, std::string_view key) {
    for (const KeyValue& entry : entries)
        if (equalsIgnoreCase(entry.key, key))
            return &entry;
    return nullptr;
}

} // namespace qm
