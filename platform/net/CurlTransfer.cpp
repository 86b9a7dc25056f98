#include "platform/net/CurlTransfer.hpp"

#include "platform/net/CurlErrors.hpp"
#include "platform/net/CurlHandles.hpp"
#include "platform/net/CurlRequestOptions.hpp"
#include "platform/net/UrlError.hpp"

#include <cmath>
#include <cstdio>
#include <utility>

namespace platform::net {

namespace {

using Clock = std::chrono::steady_clock;

std::exception_ptr cancellationError() {
    return std::make_exception_ptr(UrlError(UrlError::Code::cancelled, "The transfer was cancelled."));
}

// How long to wait for socket activity before looking at the idle time again: the rest of the allowed idle
// time, between 1 ms and 1 s.
int pollMilliseconds(double remainingSeconds) {
    const double milliseconds = std::ceil(remainingSeconds * 1000.0);
    if (!(milliseconds < 1000.0)) {
        return 1000;
    }
    return milliseconds < 1.0 ? 1 : static_cast<int>(milliseconds);
}

} // namespace

// While the easy handle is in the multi handle, cancel() may wake the run; once it is removed, nothing may
// touch the multi handle.
class CurlTransfer::MultiRegistration {
public:
    MultiRegistration(CurlTransfer& transfer, CURLM* multi, CURL* easy)
        : transfer_(transfer), multi_(multi), easy_(easy) {
        curl_multi_add_handle(multi_, easy_);
        std::lock_guard lock(transfer_.wakeMutex_);
        transfer_.runningMulti_ = multi_;
    }
    ~MultiRegistration() {
        {
            std::lock_guard lock(transfer_.wakeMutex_);
            transfer_.runningMulti_ = nullptr;
        }
        curl_multi_remove_handle(multi_, easy_);
    }
    MultiRegistration(const MultiRegistration&) = delete;
    MultiRegistration& operator=(const MultiRegistration&) = delete;

private:
    CurlTransfer& transfer_;
    CURLM* multi_;
    CURL* easy_;
};

CurlTransfer::CurlTransfer(Request request, std::optional<ProxySettings> proxies)
    : request_(std::move(request)), proxies_(std::move(proxies)) {}

void CurlTransfer::cancel() {
    cancelRequested_ = true;
    std::lock_guard lock(wakeMutex_);
    if (runningMulti_) {
        curl_multi_wakeup(runningMulti_);
    }
}

std::exception_ptr CurlTransfer::run(TransferSink& sink) {
    try {
        return transfer(sink);
    } catch (...) {
        return std::current_exception();
    }
}

std::exception_ptr CurlTransfer::transfer(TransferSink& sink) {
    if (cancelRequested_) {
        return cancellationError();
    }
    if (auto refusal = unsendableUrlError(request_.url)) {
        return std::make_exception_ptr(*refusal);
    }
    const auto easy = makeEasyHandle();
    const auto multi = makeMultiHandle();
    const auto headers = makeHeaderList(request_.headers);
    applyRequest(easy.get(), request_, proxyFor(request_.url, proxies_), headers.get());
    curl_easy_setopt(easy.get(), CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, &CurlTransfer::receiveHeader);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &CurlTransfer::receiveBody);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, this);
    sink_ = &sink;
    easy_ = easy.get();

    const MultiRegistration registration(*this, multi.get(), easy.get());
    return outcome(perform(multi.get()));
}

CURLcode CurlTransfer::perform(CURLM* multi) {
    const double timeout = request_.timeout.count();
    lastActivity_ = Clock::now();
    int running = 0;
    CURLMcode status = curl_multi_perform(multi, &running);
    while (status == CURLM_OK && running > 0) {
        if (cancelRequested_) {
            return CURLE_ABORTED_BY_CALLBACK;
        }
        const double idle = std::chrono::duration<double>(Clock::now() - lastActivity_).count();
        if (idle >= timeout) {
            std::snprintf(errorBuffer_, sizeof errorBuffer_, "Nothing received for %.1f seconds", idle);
            return CURLE_OPERATION_TIMEDOUT;
        }
        status = curl_multi_poll(multi, nullptr, 0, pollMilliseconds(timeout - idle), nullptr);
        if (status == CURLM_OK) {
            status = curl_multi_perform(multi, &running);
        }
    }
    if (status != CURLM_OK) {
        throw UrlError(UrlError::Code::unknown,
                       std::string("The transfer failed: ").append(curl_multi_strerror(status)));
    }
    int queued = 0;
    const CURLMsg* message = curl_multi_info_read(multi, &queued);
    if (!message || message->msg != CURLMSG_DONE) {
        throw UrlError(UrlError::Code::unknown, "The transfer ended without a result.");
    }
    return message->data.result;
}

// The callbacks stop the transfer by returning a count other than the one received. Nothing may be thrown
// through curl's frames, so whatever the sink throws is kept as the run's error.
std::size_t CurlTransfer::receiveHeader(char* data, std::size_t size, std::size_t count, void* transfer) {
    auto& self = *static_cast<CurlTransfer*>(transfer);
    const std::size_t length = size * count;
    try {
        return self.handleHeaderLine(std::string_view(data, length)) ? length : 0;
    } catch (...) {
        self.callbackError_ = std::current_exception();
        return 0;
    }
}

std::size_t CurlTransfer::receiveBody(char* data, std::size_t size, std::size_t count, void* transfer) {
    auto& self = *static_cast<CurlTransfer*>(transfer);
    const std::size_t length = size * count;
    try {
        return self.handleBody(std::span(reinterpret_cast<const std::uint8_t*>(data), length)) ? length : 0;
    } catch (...) {
        self.callbackError_ = std::current_exception();
        return 0;
    }
}

bool CurlTransfer::handleHeaderLine(std::string_view line) {
    lastActivity_ = Clock::now();
    if (cancelRequested_) {
        return false;
    }
    const bool finalHeadComplete = headReader_.addLine(line);
    const bool keepGoing = !finalHeadComplete || headDelivered_ || deliverHead();
    lastActivity_ = Clock::now();
    return keepGoing && !cancelRequested_;
}

bool CurlTransfer::handleBody(std::span<const std::uint8_t> bytes) {
    lastActivity_ = Clock::now();
    if (cancelRequested_ || (!headDelivered_ && !deliverHead())) {
        return false;
    }
    sink_->receiveData(bytes);
    lastActivity_ = Clock::now();
    return !cancelRequested_;
}

// Hands the most recent head to the sink; false when there is none or the sink refused it.
bool CurlTransfer::deliverHead() {
    const auto& head = headReader_.lastHead();
    if (!head) {
        return false;
    }
    headDelivered_ = true;
    const Response response{.url = responseUrl(), .statusCode = head->statusCode, .headers = head->headers};
    refusedByResponse_ = !sink_->receiveResponse(response);
    return !refusedByResponse_;
}

// The request's own URL as the caller wrote it, or where curl's redirects led.
Url CurlTransfer::responseUrl() const {
    long redirects = 0;
    curl_easy_getinfo(easy_, CURLINFO_REDIRECT_COUNT, &redirects);
    const char* effective = nullptr;
    if (redirects == 0 || curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || !effective) {
        return request_.url;
    }
    return Url::parse(effective).value_or(request_.url);
}

// The run's error, by the first that applies: what the sink threw, a cancellation (asked for, or the
// sink's refusal of the head), curl's failure, a transfer that never produced a head.
std::exception_ptr CurlTransfer::outcome(CURLcode code) {
    if (code == CURLE_OK && !headDelivered_ && !cancelRequested_) {
        // The final head looked like a redirect curl did not follow (a malformed target, say); it is
        // still the answer.
        deliverHead();
    }
    if (callbackError_) {
        return callbackError_;
    }
    if (cancelRequested_ || refusedByResponse_) {
        return cancellationError();
    }
    if (code != CURLE_OK) {
        long osErrno = 0;
        curl_easy_getinfo(easy_, CURLINFO_OS_ERRNO, &osErrno);
        return std::make_exception_ptr(urlErrorFromCurl(code, osErrno, errorBuffer_));
    }
    if (!headDelivered_) {
        return std::make_exception_ptr(
            UrlError(UrlError::Code::badServerResponse, "The server's answer had no HTTP response head."));
    }
    return {};
}

} // namespace platform::net
