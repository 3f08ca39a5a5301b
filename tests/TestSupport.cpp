#include "TestSupport.h"

#include "FileError.h"

#include <cstdlib>

namespace qm::test {

int errorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const qm::FileError& e) {
        return e.number();
    }
    return 0;
}

namespace {

void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

void clearVariable(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

} // namespace

ScopedEnv::ScopedEnv(const char* name) : m_name(name) {
    if (const char* value = std::getenv(name))
        m_saved = value;
}

ScopedEnv::~ScopedEnv() {
    if (m_saved)
        setVariable(m_name, *m_saved);
    else
        clearVariable(m_name);
}

void ScopedEnv::set(const std::string& value) {
    setVariable(m_name, value);
}

void ScopedEnv::unset() {
    clearVariable(m_name);
}

} // namespace qm::test
