#include "platform/ui/BridgeRequest.hpp"

#include "platform/ui/BridgeRequestError.hpp"
#include "platform/ui/ValueJson.hpp"
#include "platform/ui/ValueJsonError.hpp"

#include <cstddef>
#include <utility>

namespace platform::ui {

namespace {

// No channel or method name comes near this; a longer one is refused rather than kept per client.
constexpr std::size_t maximumNameLength = 1024;

// The field as a non-empty string, or nothing.
const std::string* nonEmptyString(const nlohmann::json& document, const char* key) {
    const auto found = document.find(key);
    if (found == document.end() || !found->is_string() || found->get_ref<const std::string&>().empty()) {
        return nullptr;
    }
    return &found->get_ref<const std::string&>();
}

Value arguments(const nlohmann::json& document) {
    const auto found = document.find("arguments");
    if (found == document.end()) {
        return {};
    }
    try {
        return valueFromJson(*found);
    } catch (const ValueJsonError& error) {
        throw BridgeRequestError::invalidArguments(error.what());
    }
}

} // namespace

BridgeRequest BridgeRequest::parse(const nlohmann::json& document) {
    if (document.is_discarded()) {
        throw BridgeRequestError::notJson();
    }
    if (!document.is_object()) {
        throw BridgeRequestError::notObject();
    }
    const auto* channel = nonEmptyString(document, "channel");
    if (!channel) {
        throw BridgeRequestError::invalidChannel();
    }
    const auto* method = nonEmptyString(document, "method");
    if (!method) {
        throw BridgeRequestError::invalidMethod();
    }
    for (const auto& [field, name] : {std::pair{"channel", channel}, std::pair{"method", method}}) {
        if (name->size() > maximumNameLength) {
            throw BridgeRequestError::nameTooLong(field);
        }
    }
    return BridgeRequest{.id = requestId(document),
                         .channel = *channel,
                         .call = MethodCall{.method = *method, .arguments = arguments(document)}};
}

nlohmann::json requestId(const nlohmann::json& document) {
    if (!document.is_object()) {
        return nullptr;
    }
    const auto found = document.find("id");
    return found == document.end() ? nlohmann::json() : *found;
}

} // namespace platform::ui
