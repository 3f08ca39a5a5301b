#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm::cli {

// Shell-style matching with ASCII letter case ignored: "*" any run, "?" any one character, "[...]" a set
// ("!" or "^" first negates; ranges a-z). An unclosed "[" is an ordinary character.
bool matchesPattern(std::string_view pattern, std::string_view text);

// The entries of `texts` that the words name, in list order, each once, or every entry when there are no
// words. A word is a 0-based index (when `indexes`), or a text or pattern matched against every text (game
// text: the words are converted from UTF-8). A word that names nothing is a usage error naming `where`.
std::vector<std::size_t> chosenEntries(const std::vector<std::string>& texts,
                                       const std::vector<std::string>& words, const std::string& where,
                                       bool indexes = true);

} // namespace qm::cli
