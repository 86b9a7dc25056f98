#pragma once

#include <sys/types.h>

namespace platform::desktop {

// A running copy of an application, as the workspace lists it.
class RunningApplication {
public:
    virtual ~RunningApplication() = default;

    virtual pid_t processIdentifier() const = 0;
    // Asks the copy to come forward with all its windows; false when it could not be reached.
    virtual bool activate() = 0;
};

} // namespace platform::desktop
