#include "platform/net/CurlSession.hpp"

#include "platform/net/CurlDataTask.hpp"
#include "platform/net/CurlTransfer.hpp"
#include "platform/net/DownloadFile.hpp"

#include <stdexcept>

namespace platform::net {

namespace {

class BodyCollector final : public TransferSink {
public:
    bool receiveResponse(const Response& head) override {
        response = head;
        return true;
    }
    void receiveData(std::span<const std::uint8_t> bytes) override {
        body.insert(body.end(), bytes.begin(), bytes.end());
    }

    std::optional<Response> response;
    std::vector<std::uint8_t> body;
};

// Runs the transfer on this thread; cancelling the token cancels it.
void runCancellable(CurlTransfer& transfer, TransferSink& sink, const core::CancellationToken& token) {
    std::exception_ptr error;
    {
        const core::CancellationCallback onCancel(token.stopToken(), [&transfer] { transfer.cancel(); });
        error = transfer.run(sink);
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

} // namespace

CurlSession::CurlSession(SessionConfiguration configuration) : configuration_(std::move(configuration)) {}

std::pair<std::vector<std::uint8_t>, Response> CurlSession::data(const Request& request,
                                                                 core::CancellationToken token) {
    ensureValid();
    CurlTransfer transfer(request, configuration_.proxies);
    BodyCollector collector;
    runCancellable(transfer, collector, token);
    return {std::move(collector.body), std::move(*collector.response)};
}

std::pair<std::filesystem::path, Response> CurlSession::download(const Request& request,
                                                                 core::CancellationToken token) {
    ensureValid();
    CurlTransfer transfer(request, configuration_.proxies);
    DownloadFile file;
    runCancellable(transfer, file, token);
    return file.keep();
}

std::shared_ptr<DataTask> CurlSession::dataTask(const Request& request, std::shared_ptr<DataDelegate> delegate) {
    ensureValid();
    if (!delegate) {
        throw std::invalid_argument("A data task needs a delegate.");
    }
    return std::make_shared<CurlDataTask>(request, configuration_.proxies, std::move(delegate));
}

void CurlSession::finishTasksAndInvalidate() { invalidated_ = true; }

void CurlSession::ensureValid() const {
    if (invalidated_) {
        throw std::logic_error("The session has been invalidated; it starts no new transfers.");
    }
}

} // namespace platform::net
