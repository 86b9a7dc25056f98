#pragma once

#include <optional>
#include <string>

namespace platform::sys {

// The value of a process environment variable, read at the moment of the call; absent when unset.
std::optional<std::string> environmentValue(const std::string& name);

// As environmentValue, with an empty value taken as absent too, for settings that an empty value turns off.
std::optional<std::string> nonEmptyEnvironmentValue(const std::string& name);

} // namespace platform::sys
