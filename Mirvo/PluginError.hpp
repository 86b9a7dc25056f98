#pragma once

#include "platform/core/SystemError.hpp"

#include <cstdint>
#include <string>

namespace mirvo {

// An error a recogniser plug-in raises itself. It is a platform error of the plug-in's own domain, so it
// reaches the interface layer like any other failure: its code in decimal and its description.
class PluginError : public platform::core::SystemError {
public:
    static constexpr const char* dictationDomain = "mirvo.dictation";
    static constexpr const char* parakeetDomain = "mirvo.parakeet";
    static constexpr const char* paraformerDomain = "mirvo.paraformer";

    PluginError(std::string domain, std::int64_t code, const std::string& description);

    // Code 1 "Call prepare before start": a session was asked for before the models were ready.
    static PluginError notPrepared(std::string domain);
};

} // namespace mirvo
