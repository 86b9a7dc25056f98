#include "platform/net/ResponseHeadReader.hpp"

#include <charconv>

namespace platform::net {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// "HTTP/1.1 200 OK" or "HTTP/2 200": the status code after the first blank, 0 if unreadable.
int statusCode(std::string_view statusLine) {
    const auto blank = statusLine.find(' ');
    if (blank == std::string_view::npos) {
        return 0;
    }
    const auto digits = trimmed(statusLine.substr(blank + 1)).substr(0, 3);
    int code = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), code);
    return code;
}

} // namespace

bool ResponseHeadReader::addLine(std::string_view line) {
    if (line.starts_with("HTTP/")) {
        head_ = Head{.statusCode = statusCode(line), .headers = {}};
        complete_ = false;
        return false;
    }
    if (!head_ || complete_) {
        // Lines after a complete head are trailers of a chunked body; they do not change the head.
        return false;
    }
    if (trimmed(line).empty()) {
        complete_ = true;
        return isFinal();
    }
    addField(line);
    return false;
}

void ResponseHeadReader::addField(std::string_view line) {
    // A field with a stray CR or NUL inside is malformed; dropping it keeps the rest of the head usable.
    if (trimmed(line).find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        return;
    }
    auto& headers = head_->headers;
    if ((line.starts_with(' ') || line.starts_with('\t')) && !headers.fields().empty()) {
        // A folded line continues the previous field's value.
        auto [name, value] = headers.fields().back();
        headers.set(name, value.append(" ").append(trimmed(line)));
        return;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return;
    }
    const auto name = trimmed(line.substr(0, colon));
    const auto value = trimmed(line.substr(colon + 1));
    // Repeated fields combine into one list, as HTTP defines them to be equivalent.
    if (auto earlier = headers.value(name)) {
        headers.set(name, earlier->append(", ").append(value));
    } else {
        headers.set(name, value);
    }
}

// Interim answers are never final, nor is a redirect with a target: curl follows it.
bool ResponseHeadReader::isFinal() const {
    if (head_->statusCode < 200) {
        return false;
    }
    const auto location = head_->headers.value("Location");
    const bool redirect = head_->statusCode >= 300 && head_->statusCode < 400 && location && !location->empty();
    return !redirect;
}

} // namespace platform::net
