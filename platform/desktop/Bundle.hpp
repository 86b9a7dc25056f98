#pragma once

#include <optional>
#include <string>

namespace platform::desktop {

// What the application says about itself.
struct Bundle {
    // Reverse-DNS identity shared by every copy of the application; none for a bare executable.
    std::optional<std::string> bundleIdentifier;
    // The name its diagnostics begin with.
    std::string name;
};

} // namespace platform::desktop
