#include "platform/ui/MethodChannel.hpp"

namespace platform::ui {

MethodChannel::MethodChannel(std::string name, BinaryMessenger& messenger)
    : name_(std::move(name)), messenger_(messenger) {}

MethodChannel::~MethodChannel() { removeHandler(); }

void MethodChannel::setMethodCallHandler(Handler handler) {
    if (handler) {
        handlerId_ = messenger_.setMessageHandler(name_, std::move(handler));
    } else {
        removeHandler();
    }
}

void MethodChannel::removeHandler() {
    if (handlerId_) {
        messenger_.removeMessageHandler(name_, *handlerId_);
        handlerId_.reset();
    }
}

} // namespace platform::ui
