#pragma once

#include "platform/ui/MethodCall.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace platform::ui {

// One request line of a bridge client: {"id": <any JSON>, "channel": "...", "method": "...",
// "arguments": <value>}. "id" is optional and is echoed in the reply (null when absent); "arguments"
// defaults to null.
struct BridgeRequest {
    nlohmann::json id;
    std::string channel;
    MethodCall call;

    // Throws BridgeRequestError for a line that is not such a request.
    static BridgeRequest parse(const nlohmann::json& document);
};

// The id of a request document, or null when it has none, so that even a bad request is answered under it.
nlohmann::json requestId(const nlohmann::json& document);

} // namespace platform::ui
