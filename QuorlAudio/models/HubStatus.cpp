#include "QuorlAudio/models/HubStatus.hpp"

#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "platform/core/Concatenated.hpp"

#include <exception>
#include <initializer_list>

namespace quorl {
namespace {

[[noreturn]] void throwRateLimited(const platform::net::Response& response, const std::string& activity) {
    const int status = response.statusCode;
    const auto limited = std::make_exception_ptr(DownloadError::rateLimited(
        status,
        platform::core::concatenated({"Rate limited while ", activity, " (HTTP ", std::to_string(status), ")"})));
    if (const auto delay = HFClient::retryAfter(response)) {
        throw RetryPolicy::RetryAfterHint(limited, *delay);
    }
    std::rethrow_exception(limited);
}

} // namespace

void checkHubStatus(const platform::net::Response& response, const std::string& activity, const std::string& subject) {
    const int status = response.statusCode;
    if (status == 429 || status == 503) {
        throwRateLimited(response, activity);
    }
    if (status < 200 || status > 299) {
        throw DownloadError::downloadFailed(subject, std::make_exception_ptr(httpStatusError(status)));
    }
}

} // namespace quorl
