#pragma once

#include "platform/net/Session.hpp"

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace nettest {

// What a RecordingDelegate saw. It outlives the delegate, and learns when the task has let the delegate
// go: from then on no event can arrive, so the record is final.
struct DelegateRecord {
    std::vector<std::string> events; // "response", "data" and "complete", in arrival order
    std::optional<platform::net::Response> response;
    std::string body;
    std::exception_ptr error;
    bool released = false;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;

    // Waits (a bounded time, failing the test when it runs out) until the condition holds under the lock.
    void waitUntil(const std::function<bool()>& condition) const;
    void waitUntilReleased() const;
};

class RecordingDelegate final : public platform::net::DataDelegate {
public:
    explicit RecordingDelegate(std::shared_ptr<DelegateRecord> record,
                               platform::net::ResponseDisposition answer = platform::net::ResponseDisposition::allow);
    ~RecordingDelegate() override;

    // Holds the task, as a delegate that owns its task does.
    void keep(std::shared_ptr<platform::net::DataTask> task) { task_ = std::move(task); }

    platform::net::ResponseDisposition didReceiveResponse(platform::net::DataTask& task,
                                                          const platform::net::Response& response) override;
    void didReceiveData(platform::net::DataTask& task, std::span<const std::uint8_t> bytes) override;
    void didComplete(platform::net::DataTask& task, std::exception_ptr error) override;

private:
    void record(const std::function<void(DelegateRecord&)>& change);

    std::shared_ptr<DelegateRecord> record_;
    platform::net::ResponseDisposition answer_;
    std::shared_ptr<platform::net::DataTask> task_;
};

} // namespace nettest
