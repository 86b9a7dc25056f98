#include "platform/net/HttpHeaders.hpp"

#include "platform/core/AsciiCase.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace platform::net {

namespace {

bool sameName(std::string_view left, std::string_view right) { return core::equalIgnoringAsciiCase(left, right); }

// A line break or NUL inside a field would let a value smuggle extra header lines into the request.
bool holdsLineBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

} // namespace

void HttpHeaders::set(std::string_view name, std::string_view value) {
    if (holdsLineBreak(name) || holdsLineBreak(value)) {
        throw std::invalid_argument(std::string("The header field ").append(name).append(" holds a line break."));
    }
    const auto matches = [name](const auto& field) { return sameName(field.first, name); };
    const auto first = std::find_if(fields_.begin(), fields_.end(), matches);
    if (first == fields_.end()) {
        fields_.emplace_back(name, value);
        return;
    }
    first->first = name;
    first->second = value;
    fields_.erase(std::remove_if(std::next(first), fields_.end(), matches), fields_.end());
}

std::optional<std::string> HttpHeaders::value(std::string_view name) const {
    const auto field = std::find_if(fields_.begin(), fields_.end(),
                                    [name](const auto& candidate) { return sameName(candidate.first, name); });
    if (field == fields_.end()) {
        return std::nullopt;
    }
    return field->second;
}

void HttpHeaders::remove(std::string_view name) {
    std::erase_if(fields_, [name](const auto& field) { return sameName(field.first, name); });
}

} // namespace platform::net
