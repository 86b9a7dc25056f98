#include "tests/Mirvo/InterfaceLayer.hpp"

#include <utility>

namespace mirvotest {

using nlohmann::json;

InterfaceLayer::InterfaceLayer(const std::filesystem::path& socket) : client_(socket) {}

json InterfaceLayer::call(const std::string& channel, const std::string& method, const json& arguments) {
    const int id = ++lastId_;
    client_.writeJson({{"id", id}, {"channel", channel}, {"method", method}, {"arguments", arguments}});
    while (true) {
        json line = client_.readJson();
        if (!line.contains("id")) {
            if (line.is_null()) {
                return line;
            }
            events_.push_back(std::move(line));
        } else if (line["id"] == id) {
            line.erase("id");
            return line;
        }
    }
}

json InterfaceLayer::nextEvent() {
    if (events_.empty()) {
        return client_.readJson();
    }
    json event = std::move(events_.front());
    events_.pop_front();
    return event;
}

std::vector<json> InterfaceLayer::takeEvents() {
    std::vector<json> taken(events_.begin(), events_.end());
    events_.clear();
    return taken;
}

} // namespace mirvotest
