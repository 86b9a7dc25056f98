#include "platform/net/CurlDataTask.hpp"

#include <thread>

namespace platform::net {

class CurlDataTask::DelegateSink final : public TransferSink {
public:
    explicit DelegateSink(CurlDataTask& task) : task_(task) {}

    bool receiveResponse(const Response& response) override {
        {
            std::lock_guard lock(task_.responseMutex_);
            task_.response_ = response;
        }
        return task_.delegate_->didReceiveResponse(task_, response) == ResponseDisposition::allow;
    }

    void receiveData(std::span<const std::uint8_t> bytes) override { task_.delegate_->didReceiveData(task_, bytes); }

private:
    CurlDataTask& task_;
};

CurlDataTask::CurlDataTask(Request request, std::optional<ProxySettings> proxies,
                           std::shared_ptr<DataDelegate> delegate)
    : transfer_(std::move(request), std::move(proxies)), delegate_(std::move(delegate)) {}

void CurlDataTask::resume() {
    std::call_once(started_, [this] { std::thread([task = shared_from_this()] { task->run(); }).detach(); });
}

void CurlDataTask::cancel() {
    transfer_.cancel();
    resume();
}

std::optional<Response> CurlDataTask::response() const {
    std::lock_guard lock(responseMutex_);
    return response_;
}

void CurlDataTask::run() {
    DelegateSink sink(*this);
    const auto error = transfer_.run(sink);
    delegate_->didComplete(*this, error);
    // A delegate that holds its task would otherwise keep both alive for good.
    delegate_.reset();
}

} // namespace platform::net
