#pragma once

#include <mutex>

namespace quorl {

class AppLogger;

// Makes sure the host line is logged once per process, however many model sets load at the same time.
class SystemInfoReporter {
public:
    static SystemInfoReporter& shared();

    void logIfNeeded(const AppLogger& logger);

private:
    SystemInfoReporter() = default;

    std::mutex mutex_;
    bool didLog_ = false;
};

} // namespace quorl
