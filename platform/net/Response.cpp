#include "platform/net/Response.hpp"

#include <algorithm>
#include <charconv>

namespace platform::net {

std::int64_t Response::expectedContentLength() const {
    const auto text = headers.value("Content-Length");
    if (!text || text->empty() ||
        !std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    std::int64_t length = -1;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), length);
    return error == std::errc() ? length : -1;
}

} // namespace platform::net
