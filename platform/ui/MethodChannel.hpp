#pragma once

#include "platform/ui/BinaryMessenger.hpp"

#include <optional>
#include <string>

namespace platform::ui {

// A named channel of method calls from the interface layer. Destroying the channel removes its handler, so
// an owner may capture itself in the handler it installs. A channel only ever removes the handler it
// installed itself: when a newer channel of the same name has taken over, that one stays in place.
class MethodChannel {
public:
    using Handler = BinaryMessenger::MessageHandler;

    MethodChannel(std::string name, BinaryMessenger& messenger);
    ~MethodChannel();
    MethodChannel(const MethodChannel&) = delete;
    MethodChannel& operator=(const MethodChannel&) = delete;

    const std::string& name() const { return name_; }

    // An empty handler removes the current one.
    void setMethodCallHandler(Handler handler);

private:
    void removeHandler();

    std::string name_;
    BinaryMessenger& messenger_;
    std::optional<BinaryMessenger::HandlerId> handlerId_;
};

} // namespace platform::ui
