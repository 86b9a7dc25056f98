#include "Requests.hpp"

#include <gtest/gtest.h>

namespace nettest {

platform::net::Request get(const std::string& url, double timeoutSeconds) {
    const auto parsed = platform::net::Url::parse(url);
    EXPECT_TRUE(parsed) << url;
    return {.url = parsed.value_or(platform::net::Url()),
            .method = "GET",
            .headers = {},
            .timeout = std::chrono::duration<double>(timeoutSeconds)};
}

std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::exception_ptr failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (...) {
        return std::current_exception();
    }
    return {};
}

} // namespace nettest
