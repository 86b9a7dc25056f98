#include "platform/sys/WakeupSignal.hpp"

#include "platform/core/SystemError.hpp"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform::sys {

WakeupSignal::WakeupSignal() : eventFile_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!eventFile_.isOpen()) {
        throw core::SystemError::fromErrno(errno, "Cannot create a wake-up event");
    }
}

void WakeupSignal::signal() const {
    const std::uint64_t one = 1;
    // A full counter already wakes the waiter, so a failed write loses nothing.
    [[maybe_unused]] const auto written = ::write(eventFile_.get(), &one, sizeof one);
}

void WakeupSignal::drain() const {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(eventFile_.get(), &count, sizeof count);
}

} // namespace platform::sys
