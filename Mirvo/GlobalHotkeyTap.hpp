#pragma once

#include "Mirvo/ChannelPlugin.hpp"
#include "Mirvo/HotkeyGesture.hpp"

#include "platform/core/Clock.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/desktop/EventTap.hpp"
#include "platform/desktop/KeyEvent.hpp"
#include "platform/desktop/KeyboardSession.hpp"
#include "platform/desktop/RunLoopSource.hpp"
#include "platform/ui/BinaryMessenger.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace mirvo {

// The system-wide dictation hotkey: watches the session's keyboard for the chosen binding and the space bar,
// feeds the transitions to a HotkeyGesture, and turns its actions into cues and events for the interface
// layer. Everything runs on the main queue: handlers, the tap's callback and the release confirmation.
class GlobalHotkeyTap : public ChannelPlugin {
public:
    // Plays the cue named "start" or "stop"; may be empty.
    using CuePlayer = std::function<void(const std::string& which)>;

    explicit GlobalHotkeyTap(platform::ui::BinaryMessenger& messenger,
                             platform::desktop::KeyboardSession& session = platform::desktop::KeyboardSession::shared(),
                             CuePlayer playCue = {});

protected:
    void handle(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result) override;

private:
    using TimePoint = platform::core::Clock::TimePoint;

    void setBinding(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result);
    bool start();
    void stop();
    void removeTap();
    // The space bar and the binding's key: the keys whose events the tap may withhold.
    std::set<std::uint16_t> withheldKeyCodes() const;

    // Decides what happens to one event: passed on (returned) or withheld from every other application.
    std::optional<platform::desktop::KeyEvent> handleEvent(const platform::desktop::KeyEvent& event);
    std::optional<platform::desktop::KeyEvent> handleKeyDown(const platform::desktop::KeyEvent& event);
    std::optional<platform::desktop::KeyEvent> handleKeyUp(const platform::desktop::KeyEvent& event);
    // A key event of F13 while F13 is the binding.
    bool isF13Binding(const platform::desktop::KeyEvent& event) const;
    // Whether the event was a transition of the binding.
    bool handleModifierChange(const platform::desktop::KeyEvent& event);
    // Whether the binding's modifier changed to `isDown`, remembering the new state in `lastDown`.
    bool modifierTransition(bool isDown, bool& lastDown);
    void bindingDown();
    void bindingUp();
    // Whether to withhold the space press.
    bool spaceDown(const platform::desktop::KeyEvent& event);
    // Whether to withhold the space release.
    bool spaceUp();
    void reenableTap(platform::desktop::EventType reason);

    void scheduleReleaseConfirmation();
    void cancelReleaseTimer();
    // Plays the action's cue, tells the interface layer and logs it.
    void deliver(HotkeyAction action);
    void cue(const std::string& which) const;
    TimePoint now() const;
    // The tap's callback and the release timer hold the plug-in weakly: once it is gone, events pass the tap
    // untouched and a pending confirmation does nothing.
    std::weak_ptr<GlobalHotkeyTap> weakSelf();

    platform::desktop::KeyboardSession& session_;
    CuePlayer playCue_;
    std::shared_ptr<platform::desktop::EventTap> eventTap_;
    std::shared_ptr<platform::desktop::RunLoopSource> runLoopSource_;
    bool isRunning_ = false;
    std::string binding_ = "fn";
    HotkeyGesture gesture_;
    std::optional<platform::core::MainQueue::Timer> releaseTimer_;
    std::optional<TimePoint> bindingDownAt_;
    bool spacePhysicallyDown_ = false;
    std::optional<TimePoint> spaceDownAt_;
    // The current space press is withheld from other applications, so its repeats and release are too.
    bool swallowedSpace_ = false;
    bool lastFnDown_ = false;
    bool lastRightOptionDown_ = false;
    bool lastRightCommandDown_ = false;
};

} // namespace mirvo
