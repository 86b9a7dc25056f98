#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace platform::ui {

// A line of a bridge client that is not a usable request. The bridge answers it with the error code
// "bad_request" and this description as the message.
class BridgeRequestError : public core::Error {
public:
    enum class Kind {
        notJson,
        notObject,
        invalidChannel,
        invalidMethod,
        invalidArguments,
        lineTooLong,
        nameTooLong,
        nestedTooDeeply,
    };

    static constexpr const char* code = "bad_request";

    static BridgeRequestError notJson();
    static BridgeRequestError notObject();
    static BridgeRequestError invalidChannel();
    static BridgeRequestError invalidMethod();
    static BridgeRequestError invalidArguments(const std::string& reason);
    static BridgeRequestError lineTooLong();
    // `field` is "channel" or "method".
    static BridgeRequestError nameTooLong(const std::string& field);
    static BridgeRequestError nestedTooDeeply();

    Kind kind() const { return kind_; }

private:
    BridgeRequestError(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace platform::ui
