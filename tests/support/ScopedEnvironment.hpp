#pragma once

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Sets or unsets environment variables for the lifetime of the object, then restores their earlier values.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // An absent value unsets the variable.
    ScopedEnvironment& set(const std::string& name, const std::optional<std::string>& value);

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

} // namespace testsupport
