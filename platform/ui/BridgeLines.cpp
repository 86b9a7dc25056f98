#include "platform/ui/BridgeLines.hpp"

#include "platform/ui/ValueJson.hpp"

namespace platform::ui {

namespace {

nlohmann::json errorJson(const MethodError& error) {
    return {{"code", error.code}, {"message", error.message}, {"details", toJson(error.details)}};
}

// One object on one line. Strings that are not valid UTF-8 are written with replacement characters rather
// than failing the whole message.
std::string line(const nlohmann::json& object) {
    auto text = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    text.push_back('\n');
    return text;
}

} // namespace

std::string replyLine(const nlohmann::json& id, const MethodReply& reply) {
    nlohmann::json object = {{"id", id}};
    if (const auto* value = std::get_if<Value>(&reply)) {
        object["result"] = toJson(*value);
    } else if (const auto* error = std::get_if<MethodError>(&reply)) {
        object["error"] = errorJson(*error);
    } else {
        object["notImplemented"] = true;
    }
    return line(object);
}

std::string eventLine(const std::string& channel, const EventMessage& message) {
    nlohmann::json object = {{"channel", channel}};
    if (const auto* value = std::get_if<Value>(&message)) {
        object["event"] = toJson(*value);
    } else if (const auto* error = std::get_if<MethodError>(&message)) {
        object["error"] = errorJson(*error);
    } else {
        object["endOfStream"] = true;
    }
    return line(object);
}

} // namespace platform::ui
