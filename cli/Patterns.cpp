#include "Patterns.h"

#include "Command.h"
#include "Text.h"

#include <charconv>

namespace qm::cli {

namespace {

// The set of a bracket expression at the start of `p`: whether `c` is in it, and where the expression ends
// (0 when it is not closed).
bool inBracket(std::string_view p, char c, std::size_t& length) {
    std::size_t i = 1;
    const bool negated = i < p.size() && (p[i] == '!' || p[i] == '^');
    if (negated)
        ++i;
    bool matched = false;
    const std::size_t first = i;
    for (; i < p.size() && (p[i] != ']' || i == first); ++i) {
        if (i + 2 < p.size() && p[i + 1] == '-' && p[i + 2] != ']') {
            matched = matched || (upperAscii(p[i]) <= upperAscii(c) && upperAscii(c) <= upperAscii(p[i + 2]));
            i += 2;
        } else {
            matched = matched || upperAscii(p[i]) == upperAscii(c);
        }
    }
    if (i >= p.size()) {
        length = 0;
        return false;
    }
    length = i + 1;
    return matched != negated;
}

} // namespace

bool matchesPattern(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starT = t;
            continue;
        }
        if (p < pattern.size()) {
            std::size_t length = 1;
            bool step = false;
            if (pattern[p] == '[') {
                step = inBracket(pattern.substr(p), text[t], length);
                if (length == 0) {
                    length = 1;
                    step = text[t] == '[';
                }
            } else {
                step = pattern[p] == '?' || upperAscii(pattern[p]) == upperAscii(text[t]);
            }
            if (step) {
                p += length;
                ++t;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        p = starP + 1;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<std::size_t> chosenEntries(const std::vector<std::string>& texts,
                                       const std::vector<std::string>& words, const std::string& where,
                                       bool indexes) {
    std::vector<bool> chosen(texts.size(), words.empty());
    for (const auto& word : words) {
        bool any = false;
        std::size_t index = 0;
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), index);
        if (indexes && !word.empty() && ec == std::errc() && end == word.data() + word.size()) {
            any = index < texts.size();
            if (any)
                chosen[index] = true;
        } else {
            const std::string pattern = utf8ToCp1252(word);
            for (std::size_t i = 0; i < texts.size(); ++i)
                if (matchesPattern(pattern, texts[i])) {
                    chosen[i] = true;
                    any = true;
                }
        }
        if (!any)
            throw UsageError{"no file matches " + word + " in " + where};
    }
    std::vector<std::size_t> entries;
    for (std::size_t i = 0; i < chosen.size(); ++i)
        if (chosen[i])
            entries.push_back(i);
    return entries;
}

} // namespace qm::cli
