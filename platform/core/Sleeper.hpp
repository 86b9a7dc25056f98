#pragma once

#include "platform/core/CancellationToken.hpp"

#include <chrono>

namespace platform::core {

// Sleeps the calling thread for `duration`, waking early and throwing CancellationError when `token` is
// cancelled (also when it already is). A zero or negative duration only checks the token.
void sleepFor(std::chrono::nanoseconds duration, const CancellationToken& token);

// The waits that behaviour prescribes (back-offs, polls, throttles) go through a Sleeper so that tests can
// record them instead of waiting.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleep(std::chrono::nanoseconds duration, const CancellationToken& token) = 0;

    // The real sleeper, shared by the whole process.
    static Sleeper& system();
};

} // namespace platform::core
