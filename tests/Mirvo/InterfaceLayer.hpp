#pragma once

#include "tests/platform/ui/BridgeClient.hpp"

#include <nlohmann/json.hpp>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace mirvotest {

// Plays the interface layer over the host's socket bridge: one request at a time, each answered before the
// next, with the events that arrive meanwhile kept in order.
class InterfaceLayer {
public:
    explicit InterfaceLayer(const std::filesystem::path& socket);

    // The reply without its id: {"result": ...}, {"error": ...} or {"notImplemented": true}; a JSON null
    // when the bridge fell silent or closed.
    nlohmann::json call(const std::string& channel, const std::string& method,
                        const nlohmann::json& arguments = nullptr);

    // The next event line ({"channel": ..., "event": ...}), kept or newly read; a JSON null when none came.
    nlohmann::json nextEvent();

    // The event lines kept so far, which are then forgotten.
    std::vector<nlohmann::json> takeEvents();

private:
    uitest::BridgeClient client_;
    int lastId_ = 0;
    std::deque<nlohmann::json> events_;
};

} // namespace mirvotest
