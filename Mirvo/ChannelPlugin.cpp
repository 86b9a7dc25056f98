#include "Mirvo/ChannelPlugin.hpp"

#include "Mirvo/SystemErrorReport.hpp"

#include "platform/core/MainQueue.hpp"

#include <utility>

namespace mirvo {

namespace ui = platform::ui;

ChannelPlugin::ChannelPlugin(ui::BinaryMessenger& messenger, const std::string& methodChannelName,
                             const std::string& eventChannelName)
    : mainQueue_(messenger.mainQueue()), methodChannel_(methodChannelName, messenger) {
    if (!eventChannelName.empty()) {
        eventChannel_ = std::make_unique<ui::EventChannel>(eventChannelName, messenger);
        eventChannel_->setStreamHandler(this);
    }
    methodChannel_.setMethodCallHandler(
        [this](const ui::MethodCall& call, const ui::MethodResult& result) { handle(call, result); });
}

std::optional<ui::MethodError> ChannelPlugin::onListen(const ui::Value&, ui::EventSink sink) {
    eventSink_ = std::move(sink);
    hasEventSink_ = static_cast<bool>(eventSink_);
    return std::nullopt;
}

std::optional<ui::MethodError> ChannelPlugin::onCancel(const ui::Value&) {
    eventSink_ = nullptr;
    hasEventSink_ = false;
    return std::nullopt;
}

void ChannelPlugin::emit(ui::ValueMap payload) {
    mainQueue().async([weakSelf = weak_from_this(), event = ui::Value(std::move(payload))] {
        const auto self = weakSelf.lock();
        if (self && self->eventSink_) {
            self->eventSink_(event);
        }
    });
}

void ChannelPlugin::emitNow(const ui::ValueMap& payload) const {
    if (eventSink_) {
        eventSink_(ui::Value(payload));
    }
}

void ChannelPlugin::emitError(const std::string& code, const std::string& message) {
    emit({{"type", "error"}, {"code", code}, {"message", message}});
}

void ChannelPlugin::reportFailure(const ui::MethodResult& result, const std::exception_ptr& failure) {
    const auto report = SystemErrorReport::of(failure);
    emitError(report.code, report.message);
    result.error(report.code, report.message);
}

void ChannelPlugin::handle(const ui::MethodCall&, const ui::MethodResult& result) { result.notImplemented(); }

} // namespace mirvo
