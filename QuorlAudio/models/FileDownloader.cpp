#include "QuorlAudio/models/FileDownloader.hpp"

#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/StreamingDownloadDelegate.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"

namespace quorl {

platform::net::Response FileDownloader::streamDownload(
    const platform::net::Request& request, const std::filesystem::path& destination, std::int64_t resumeOffset,
    const std::optional<platform::net::SessionConfiguration>& configuration, ProgressCallback onProgress,
    ResponseCallback onResponse) {
    auto delegate = std::make_shared<StreamingDownloadDelegate>(destination, resumeOffset, std::move(onProgress),
                                                                std::move(onResponse));
    // A session of its own per transfer, so the delegate serves exactly this one.
    const auto session = platform::net::Session::make(configuration.value_or(HFClient::session()->configuration()));
    const auto task = session->dataTask(request, delegate);
    // The task is recorded before the cancellation callback is registered: a task already cancelled runs
    // the callback at registration, which then finds the task to stop, so no cancellation is lost.
    delegate->record(task);
    std::optional<platform::net::Response> response;
    std::exception_ptr failure;
    {
        const platform::core::CancellationCallback cancelTransfer(platform::core::Task::current().stopToken(),
                                                                  [&delegate] { delegate->cancel(); });
        task->resume();
        try {
            response = delegate->wait();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    session->finishTasksAndInvalidate();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return *response;
}

} // namespace quorl
