#include "platform/ui/BridgeRequestError.hpp"

#include "platform/core/Concatenated.hpp"

namespace platform::ui {

BridgeRequestError::BridgeRequestError(Kind kind, const std::string& description) : Error(description), kind_(kind) {}

BridgeRequestError BridgeRequestError::notJson() {
    return BridgeRequestError(Kind::notJson, "the line is not valid JSON");
}

BridgeRequestError BridgeRequestError::notObject() {
    return BridgeRequestError(Kind::notObject, "the request is not a JSON object");
}

BridgeRequestError BridgeRequestError::invalidChannel() {
    return BridgeRequestError(Kind::invalidChannel, "\"channel\" must be a non-empty string");
}

BridgeRequestError BridgeRequestError::invalidMethod() {
    return BridgeRequestError(Kind::invalidMethod, "\"method\" must be a non-empty string");
}

BridgeRequestError BridgeRequestError::invalidArguments(const std::string& reason) {
    return BridgeRequestError(Kind::invalidArguments, core::concatenated({"\"arguments\" is invalid: ", reason}));
}

BridgeRequestError BridgeRequestError::lineTooLong() {
    return BridgeRequestError(Kind::lineTooLong, "the line is longer than the bridge accepts");
}

BridgeRequestError BridgeRequestError::nameTooLong(const std::string& field) {
    return BridgeRequestError(Kind::nameTooLong,
                              core::concatenated({"\"", field, "\" is longer than the bridge accepts"}));
}

BridgeRequestError BridgeRequestError::nestedTooDeeply() {
    return BridgeRequestError(Kind::nestedTooDeeply, "the line nests deeper than the bridge accepts");
}

} // namespace platform::ui
