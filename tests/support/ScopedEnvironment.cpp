#include "tests/support/ScopedEnvironment.hpp"

#include <cstdlib>

namespace testsupport {

namespace {

void assign(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
}

} // namespace

ScopedEnvironment::~ScopedEnvironment() {
    for (auto entry = saved_.rbegin(); entry != saved_.rend(); ++entry) {
        assign(entry->first, entry->second);
    }
}

ScopedEnvironment& ScopedEnvironment::set(const std::string& name, const std::optional<std::string>& value) {
    const char* previous = std::getenv(name.c_str());
    saved_.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
    assign(name, value);
    return *this;
}

} // namespace testsupport
