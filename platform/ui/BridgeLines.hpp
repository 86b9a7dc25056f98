#pragma once

#include "platform/ui/BinaryMessenger.hpp"

#include <nlohmann/json.hpp>

#include <string>

namespace platform::ui {

// The lines the bridge writes to its clients, each ending with a newline:
//   reply:  {"id": …, "result": <value>} | {"id": …, "error": {"code", "message", "details"}}
//           | {"id": …, "notImplemented": true}
//   event:  {"channel": …, "event": <value>} | {"channel": …, "error": {…}} | {"channel": …, "endOfStream": true}
std::string replyLine(const nlohmann::json& id, const MethodReply& reply);
std::string eventLine(const std::string& channel, const EventMessage& message);

} // namespace platform::ui
