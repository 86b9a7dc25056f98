#pragma once

#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "platform/net/Request.hpp"
#include "platform/net/Response.hpp"
#include "platform/net/SessionConfiguration.hpp"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace platform::net {

class DataTask;

// What a delegate answers to a response head: deliver the body, or stop the transfer (which then
// completes with UrlError::Code::cancelled).
enum class ResponseDisposition { allow, cancel };

// Receives one data task's events, always in this order and never two at once: the response head (the
// final one, after redirects), the body chunks in order, then exactly one completion (the error is null on
// success). The events run on the task's own thread. An exception thrown by didReceiveResponse or
// didReceiveData stops the transfer and becomes the completion's error; didComplete must not throw.
class DataDelegate {
public:
    virtual ~DataDelegate() = default;
    virtual ResponseDisposition didReceiveResponse(DataTask& task, const Response& response) = 0;
    virtual void didReceiveData(DataTask& task, std::span<const std::uint8_t> bytes) = 0;
    virtual void didComplete(DataTask& task, std::exception_ptr error) = 0;
};

// One transfer whose events go to a delegate. Created suspended; resume() starts it on a thread of its
// own. cancel() may be called from any thread, before or after resume(): the task then completes once,
// with UrlError::Code::cancelled (unless it had already completed). The task keeps itself and its delegate
// alive until its completion has been delivered, so callers may drop it at any time.
class DataTask {
public:
    virtual ~DataTask() = default;
    virtual void resume() = 0;
    virtual void cancel() = 0;
    // The response head, once it has arrived.
    virtual std::optional<Response> response() const = 0;
};

// An HTTP session over libcurl. Redirects are followed (at most 20); the "Authorization" header is sent
// to the request's own host and port only, never to another host a redirect leads to. Transport failures
// are thrown or reported as UrlError. Transfers of one session run concurrently and do not depend on the
// session object: it may be destroyed while they run.
class Session : public std::enable_shared_from_this<Session> {
public:
    static std::shared_ptr<Session> make(SessionConfiguration configuration = {});
    virtual ~Session() = default;

    virtual const SessionConfiguration& configuration() const = 0;

    // The whole body and the response head; blocks until done. Cancelling the token aborts the
    // transfer with UrlError::Code::cancelled.
    virtual std::pair<std::vector<std::uint8_t>, Response>
    data(const Request& request, core::CancellationToken token = core::Task::current()) = 0;

    // The body in a new file in the temporary folder, which the caller owns (and moves or deletes),
    // and the response head. The file is removed again when the transfer fails.
    virtual std::pair<std::filesystem::path, Response>
    download(const Request& request, core::CancellationToken token = core::Task::current()) = 0;

    virtual std::shared_ptr<DataTask> dataTask(const Request& request, std::shared_ptr<DataDelegate> delegate) = 0;

    // Lets running tasks finish; making a new task or transfer afterwards throws std::logic_error.
    virtual void finishTasksAndInvalidate() = 0;
};

} // namespace platform::net
