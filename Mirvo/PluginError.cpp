#include "Mirvo/PluginError.hpp"

#include <utility>

namespace mirvo {

PluginError::PluginError(std::string domain, std::int64_t code, const std::string& description)
    : SystemError(std::move(domain), code, description) {}

PluginError PluginError::notPrepared(std::string domain) {
    return PluginError(std::move(domain), 1, "Call prepare before start");
}

} // namespace mirvo
