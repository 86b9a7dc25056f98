#pragma once

#include "platform/net/CurlTransfer.hpp"
#include "platform/net/Session.hpp"

#include <memory>
#include <mutex>
#include <optional>

namespace platform::net {

// A data task whose transfer runs on a detached thread of its own. That thread holds the task (and through
// it the delegate) until the completion has been delivered, so callers may drop the task, or the session,
// at any moment, even from inside a delegate call.
class CurlDataTask final : public DataTask, public std::enable_shared_from_this<CurlDataTask> {
public:
    CurlDataTask(Request request, std::optional<ProxySettings> proxies, std::shared_ptr<DataDelegate> delegate);

    void resume() override;
    // Cancelling a task that was never resumed starts it, so that its one completion is still delivered.
    void cancel() override;
    std::optional<Response> response() const override;

private:
    class DelegateSink;

    void run();

    CurlTransfer transfer_;
    std::shared_ptr<DataDelegate> delegate_; // used by the task's thread only, once started
    std::once_flag started_;
    mutable std::mutex responseMutex_;
    std::optional<Response> response_;
};

} // namespace platform::net
