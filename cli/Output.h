#pragma once

#include <string>
#include <string_view>

namespace qm::cli {

// Standard output, checked: a write or flush that fails is remembered, the run stops at the next check,
// and the program reports it instead of success. Tests capture it in a string instead.
class Output {
public:
    struct Failed {};

    // The process's standard output. A closed one fails every write; its descriptor is taken by /dev/null
    // so that no file the program opens lands on it.
    static Output& standard();
    // Everything written is appended to `captured`.
    explicit Output(std::string& captured) : m_captured(&captured) {}

    void write(std::string_view text);
    void flush();
    // Flushes and throws Failed when anything failed.
    void check();
    std::string reason() const;

private:
    Output();
    std::string* m_captured = nullptr;
    int m_error = 0;
};

} // namespace qm::cli
