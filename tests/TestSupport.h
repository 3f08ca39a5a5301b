#pragma once

#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace qm::test {

// The number of the FileError that `action` throws, or 0 when it throws none.
int errorNumberOf(const std::function<void()>& action);

// Names parameterised tests after their cases' `name` fields.
struct CaseName {
    template <typename Case> std::string operator()(const ::testing::TestParamInfo<Case>& tested) const {
        return tested.param.name;
    }
};

// Sets or clears an environment variable and puts the old value back at the end.
class ScopedEnv {
public:
    explicit ScopedEnv(const char* name);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void set(const std::string& value);
    void unset();

private:
    const char* m_name;
    std::optional<std::string> m_saved;
};

} // namespace qm::test
