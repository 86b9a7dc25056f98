#include "Mirvo/GlobalHotkeyTap.hpp"

#include "Mirvo/HostLog.hpp"
#include "Mirvo/MethodArguments.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace mirvo {

namespace desktop = platform::desktop;
namespace ui = platform::ui;
using desktop::EventType;
using desktop::KeyEvent;
using platform::core::concatenated;

namespace {

constexpr std::uint16_t spaceKeyCode = 49;
constexpr std::uint16_t f13KeyCode = 105;
constexpr std::uint16_t rightOptionKeyCode = 61;
constexpr std::uint16_t rightCommandKeyCode = 54;
// The key that holds the fn modifier.
constexpr std::uint16_t fnKeyCode = 63;

// Space held this briefly before the binding makes the press a chord.
constexpr auto chordWindow = std::chrono::milliseconds(350);
// A press this long is push-to-talk: its release stops at once.
constexpr auto longHold = std::chrono::milliseconds(400);
// A short press waits this long for a space press that would lock the recording.
constexpr auto releaseConfirmationDelay = std::chrono::milliseconds(350);

std::optional<KeyEvent> passedOnUnless(bool withhold, const KeyEvent& event) {
    return withhold ? std::nullopt : std::optional<KeyEvent>(event);
}

} // namespace

GlobalHotkeyTap::GlobalHotkeyTap(ui::BinaryMessenger& messenger, desktop::KeyboardSession& session, CuePlayer playCue)
    : ChannelPlugin(messenger, "mirvo/hotkey", "mirvo/hotkey_events"), session_(session), playCue_(std::move(playCue)) {
}

void GlobalHotkeyTap::handle(const ui::MethodCall& call, const ui::MethodResult& result) {
    if (call.method == "hasAccessibilityPermission") {
        result.success(session_.accessibility().isProcessTrusted(false));
    } else if (call.method == "requestAccessibilityPermission") {
        result.success(session_.accessibility().isProcessTrusted(true));
    } else if (call.method == "setBinding") {
        setBinding(call, result);
    } else if (call.method == "start") {
        result.success(start());
    } else if (call.method == "stop") {
        stop();
        result.success();
    } else {
        ChannelPlugin::handle(call, result);
    }
}

void GlobalHotkeyTap::setBinding(const ui::MethodCall& call, const ui::MethodResult& result) {
    const auto key = MethodArguments(call.arguments).requiredString("key", "key is required", result);
    if (!key) {
        return;
    }
    // Takes effect with the next event; the gesture and the remembered modifier states stay as they are.
    binding_ = platform::text::trimmingWhiteSpaceAndLineBreaks(*key);
    if (eventTap_) {
        eventTap_->limitWithholdingTo(withheldKeyCodes());
    }
    hostLog(concatenated({"hotkey binding set to ", binding_}));
    result.success();
}

bool GlobalHotkeyTap::start() {
    if (isRunning_) {
        return true;
    }
    auto tap = desktop::EventTap::create(session_, [context = weakSelf()](const KeyEvent& event) {
        const auto self = context.lock();
        return self ? self->handleEvent(event) : std::optional<KeyEvent>(event);
    });
    if (!tap) {
        hostLog("hotkey tapCreate failed (Accessibility permission?)");
        return false;
    }
    eventTap_ = std::move(tap);
    eventTap_->limitWithholdingTo(withheldKeyCodes());
    runLoopSource_ = eventTap_->runLoopSource();
    runLoopSource_->addTo(mainQueue());
    eventTap_->enable(true);
    isRunning_ = true;
    hostLog(concatenated({"hotkey tap started (binding=", binding_, ")"}));
    return true;
}

void GlobalHotkeyTap::stop() {
    // A recording the gesture had started ends silently: the interface layer asked for the stop.
    cancelReleaseTimer();
    gesture_ = {};
    bindingDownAt_.reset();
    spaceDownAt_.reset();
    spacePhysicallyDown_ = false;
    swallowedSpace_ = false;
    lastFnDown_ = false;
    lastRightOptionDown_ = false;
    lastRightCommandDown_ = false;
    removeTap();
    if (isRunning_) {
        hostLog("hotkey tap stopped");
    }
    isRunning_ = false;
}

void GlobalHotkeyTap::removeTap() {
    if (runLoopSource_) {
        runLoopSource_->remove();
        runLoopSource_.reset();
    }
    if (eventTap_) {
        eventTap_->enable(false);
        eventTap_->invalidate();
        eventTap_.reset();
    }
}

std::set<std::uint16_t> GlobalHotkeyTap::withheldKeyCodes() const {
    static const std::map<std::string, std::uint16_t, std::less<>> bindingKeys{
        {"fn", fnKeyCode},
        {"fnSpace", fnKeyCode},
        {"rightOption", rightOptionKeyCode},
        {"rightCommand", rightCommandKeyCode},
        {"f13", f13KeyCode},
    };
    std::set<std::uint16_t> keyCodes{spaceKeyCode};
    if (const auto bindingKey = bindingKeys.find(binding_); bindingKey != bindingKeys.end()) {
        keyCodes.insert(bindingKey->second);
    }
    return keyCodes;
}

std::optional<KeyEvent> GlobalHotkeyTap::handleEvent(const KeyEvent& event) {
    switch (event.type) {
    case EventType::keyDown: return handleKeyDown(event);
    case EventType::keyUp: return handleKeyUp(event);
    case EventType::flagsChanged: return passedOnUnless(handleModifierChange(event), event);
    case EventType::tapDisabledByTimeout:
    case EventType::tapDisabledByUserInput: reenableTap(event.type); return event;
    }
    return event;
}

std::optional<KeyEvent> GlobalHotkeyTap::handleKeyDown(const KeyEvent& event) {
    if (event.keyCode == spaceKeyCode) {
        return passedOnUnless(spaceDown(event), event);
    }
    if (!isF13Binding(event)) {
        return event;
    }
    // Repeats of the held key are withheld too, but only the first press counts.
    if (!event.isAutoRepeat) {
        bindingDown();
    }
    return std::nullopt;
}

std::optional<KeyEvent> GlobalHotkeyTap::handleKeyUp(const KeyEvent& event) {
    if (event.keyCode == spaceKeyCode) {
        return passedOnUnless(spaceUp(), event);
    }
    if (!isF13Binding(event)) {
        return event;
    }
    bindingUp();
    return std::nullopt;
}

bool GlobalHotkeyTap::isF13Binding(const KeyEvent& event) const {
    return event.keyCode == f13KeyCode && binding_ == "f13";
}

bool GlobalHotkeyTap::handleModifierChange(const KeyEvent& event) {
    namespace flags = desktop::EventFlags;
    if (binding_ == "fn" || binding_ == "fnSpace") {
        return modifierTransition((event.flags & flags::maskSecondaryFn) != 0, lastFnDown_);
    }
    if (binding_ == "rightOption" && event.keyCode == rightOptionKeyCode) {
        return modifierTransition((event.flags & flags::maskAlternate) != 0, lastRightOptionDown_);
    }
    if (binding_ == "rightCommand" && event.keyCode == rightCommandKeyCode) {
        return modifierTransition((event.flags & flags::maskCommand) != 0, lastRightCommandDown_);
    }
    return false;
}

bool GlobalHotkeyTap::modifierTransition(bool isDown, bool& lastDown) {
    if (isDown == lastDown) {
        return false;
    }
    lastDown = isDown;
    if (isDown) {
        bindingDown();
    } else {
        bindingUp();
    }
    return true;
}

void GlobalHotkeyTap::bindingDown() {
    cancelReleaseTimer();
    const auto at = now();
    bindingDownAt_ = at;
    const bool chord = spacePhysicallyDown_ && spaceDownAt_ && at - *spaceDownAt_ < chordWindow;
    deliver(gesture_.down(chord));
}

void GlobalHotkeyTap::bindingUp() {
    const bool held = bindingDownAt_ && now() - *bindingDownAt_ >= longHold;
    bindingDownAt_.reset();
    switch (gesture_.up()) {
    case HotkeyAction::stop:
        cancelReleaseTimer();
        deliver(HotkeyAction::stop);
        break;
    case HotkeyAction::releasePending:
        if (held) {
            deliver(gesture_.confirmRelease());
        } else {
            scheduleReleaseConfirmation();
        }
        break;
    default: break;
    }
}

bool GlobalHotkeyTap::spaceDown(const KeyEvent& event) {
    if (event.isAutoRepeat) {
        // Repeats follow the first press.
        return swallowedSpace_;
    }
    spacePhysicallyDown_ = true;
    spaceDownAt_ = now();
    const auto action = gesture_.spaceDown();
    if (action == HotkeyAction::stop || action == HotkeyAction::lock) {
        cancelReleaseTimer();
    }
    deliver(action);
    // While the binding is held, or when space locked or stopped, space types nothing anywhere.
    swallowedSpace_ = action != HotkeyAction::none || gesture_.isBindingDown;
    return swallowedSpace_;
}

bool GlobalHotkeyTap::spaceUp() {
    spacePhysicallyDown_ = false;
    return std::exchange(swallowedSpace_, false);
}

void GlobalHotkeyTap::reenableTap(EventType reason) {
    if (!eventTap_) {
        return;
    }
    eventTap_->enable(true);
    hostLog(concatenated({"hotkey tap re-enabled after ", std::to_string(desktop::rawValue(reason))}));
}

void GlobalHotkeyTap::scheduleReleaseConfirmation() {
    cancelReleaseTimer();
    releaseTimer_ = mainQueue().asyncAfter(releaseConfirmationDelay, [context = weakSelf()] {
        if (const auto self = context.lock()) {
            self->deliver(self->gesture_.confirmRelease());
        }
    });
}

void GlobalHotkeyTap::cancelReleaseTimer() {
    if (releaseTimer_) {
        releaseTimer_->cancel();
        releaseTimer_.reset();
    }
}

void GlobalHotkeyTap::cue(const std::string& which) const {
    if (playCue_) {
        playCue_(which);
    }
}

void GlobalHotkeyTap::deliver(HotkeyAction action) {
    switch (action) {
    case HotkeyAction::start: {
        const auto mode = gesture_.mode.value_or(HotkeyGesture::pushToTalkMode);
        cue("start");
        emit({{"type", "start"}, {"mode", mode}});
        hostLog(concatenated({"hotkey start (", mode, ")"}));
        break;
    }
    case HotkeyAction::stop:
        cue("stop");
        emit({{"type", "stop"}});
        hostLog("hotkey stop");
        break;
    case HotkeyAction::lock:
        emit({{"type", "mode"}, {"mode", HotkeyGesture::lockedMode}});
        hostLog("hotkey lock — staying on");
        break;
    case HotkeyAction::releasePending:
    case HotkeyAction::none: break;
    }
}

GlobalHotkeyTap::TimePoint GlobalHotkeyTap::now() const { return mainQueue().clock().now(); }

std::weak_ptr<GlobalHotkeyTap> GlobalHotkeyTap::weakSelf() {
    return std::static_pointer_cast<GlobalHotkeyTap>(weak_from_this().lock());
}

} // namespace mirvo
