#include "platform/desktop/InProcessWorkspace.hpp"

#include <unistd.h>

#include <functional>

namespace platform::desktop {

struct InProcessWorkspace::Record {
    std::mutex mutex;
    std::vector<pid_t> activations;
};

namespace {

class ListedApplication final : public RunningApplication {
public:
    using Recorder = std::function<void(pid_t)>;

    ListedApplication(pid_t processIdentifier, Recorder record, Workspace::ActivationHandler onActivate)
        : processIdentifier_(processIdentifier), record_(std::move(record)), onActivate_(std::move(onActivate)) {}

    pid_t processIdentifier() const override { return processIdentifier_; }

    bool activate() override {
        record_(processIdentifier_);
        if (onActivate_) {
            onActivate_();
        }
        return true;
    }

private:
    pid_t processIdentifier_;
    Recorder record_;
    Workspace::ActivationHandler onActivate_;
};

} // namespace

InProcessWorkspace::InProcessWorkspace() : record_(std::make_shared<Record>()) {}

void InProcessWorkspace::addRunningApplication(const std::string& bundleIdentifier, pid_t processIdentifier) {
    list(bundleIdentifier, processIdentifier, nullptr);
}

void InProcessWorkspace::registerLaunch(const std::string& bundleIdentifier, ActivationHandler onActivate) {
    if (runningApplications(bundleIdentifier).empty()) {
        list(bundleIdentifier, getpid(), std::move(onActivate));
    }
}

std::vector<std::shared_ptr<RunningApplication>>
InProcessWorkspace::runningApplications(const std::string& bundleIdentifier) {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<RunningApplication>> running;
    for (const auto& listing : listings_) {
        if (listing.bundleIdentifier == bundleIdentifier) {
            running.push_back(listing.application);
        }
    }
    return running;
}

std::vector<pid_t> InProcessWorkspace::activations() const {
    std::lock_guard lock(record_->mutex);
    return record_->activations;
}

void InProcessWorkspace::list(const std::string& bundleIdentifier, pid_t processIdentifier,
                              ActivationHandler onActivate) {
    auto record = [record = record_](pid_t activated) {
        std::lock_guard lock(record->mutex);
        record->activations.push_back(activated);
    };
    std::lock_guard lock(mutex_);
    listings_.push_back(Listing{
        .bundleIdentifier = bundleIdentifier,
        .application = std::make_shared<ListedApplication>(processIdentifier, std::move(record), std::move(onActivate)),
    });
}

} // namespace platform::desktop
