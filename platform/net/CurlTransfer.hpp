#pragma once

#include "platform/net/Request.hpp"
#include "platform/net/Response.hpp"
#include "platform/net/ResponseHeadReader.hpp"
#include "platform/net/SessionConfiguration.hpp"

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

namespace platform::net {

// Where a transfer delivers what it receives, on the thread that runs it, one call at a time.
class TransferSink {
public:
    virtual ~TransferSink() = default;
    // The final response head, before any body byte. False stops the transfer as cancelled.
    virtual bool receiveResponse(const Response& response) = 0;
    // The next piece of the body. Throwing stops the transfer, which then fails with that exception.
    virtual void receiveData(std::span<const std::uint8_t> bytes) = 0;
};

// One HTTP transfer, run on the calling thread. It drives curl through a multi handle of its own so that
// cancel() from another thread wakes it at once, and so that it can watch for idleness itself: the
// request's time-out is the longest stretch without any byte received, whatever the transfer's phase.
class CurlTransfer {
public:
    CurlTransfer(Request request, std::optional<ProxySettings> proxies);
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Runs the transfer to its end and returns its error, null on success. Call at most once. All curl
    // resources are released before it returns.
    std::exception_ptr run(TransferSink& sink);

    // Thread-safe, at any time: the run ends as soon as possible with UrlError::Code::cancelled (at once
    // if it has not begun).
    void cancel();

private:
    class MultiRegistration;

    static std::size_t receiveHeader(char* data, std::size_t size, std::size_t count, void* transfer);
    static std::size_t receiveBody(char* data, std::size_t size, std::size_t count, void* transfer);

    std::exception_ptr transfer(TransferSink& sink);
    CURLcode perform(CURLM* multi);
    bool handleHeaderLine(std::string_view line);
    bool handleBody(std::span<const std::uint8_t> bytes);
    bool deliverHead();
    Url responseUrl() const;
    std::exception_ptr outcome(CURLcode code);

    const Request request_;
    const std::optional<ProxySettings> proxies_;

    std::atomic<bool> cancelRequested_{false};
    std::mutex wakeMutex_;
    CURLM* runningMulti_ = nullptr; // guarded by wakeMutex_; set while cancel() may wake the run

    // State of the run, touched only by the thread that runs it.
    TransferSink* sink_ = nullptr;
    CURL* easy_ = nullptr;
    ResponseHeadReader headReader_;
    bool headDelivered_ = false;
    bool refusedByResponse_ = false;
    std::exception_ptr callbackError_;
    std::chrono::steady_clock::time_point lastActivity_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
};

} // namespace platform::net
