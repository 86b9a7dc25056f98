#include "platform/desktop/KeyboardSession.hpp"

#include "platform/desktop/KeyEventRouter.hpp"
#include "platform/desktop/KeyboardSessionChoice.hpp"
#include "platform/sys/Environment.hpp"

#include <utility>

namespace platform::desktop {

KeyboardSession::KeyboardSession(Accessibility& accessibility, std::optional<std::filesystem::path> typedTextFile)
    : accessibility_(accessibility), router_(std::make_shared<KeyEventRouter>(std::move(typedTextFile))) {}

KeyboardSession::KeyboardSession(std::unique_ptr<Accessibility> ownAccessibility)
    : ownAccessibility_(std::move(ownAccessibility)), accessibility_(*ownAccessibility_),
      router_(std::make_shared<KeyEventRouter>()) {}

KeyboardSession::~KeyboardSession() = default;

KeyboardSession& KeyboardSession::shared() {
    static const std::unique_ptr<KeyboardSession> session = KeyboardSessionChoice::fromEnvironment().make();
    return *session;
}

std::optional<std::filesystem::path> KeyboardSession::typedTextFileFromEnvironment() {
    auto value = sys::nonEmptyEnvironmentValue("MIRVO_TYPED_TEXT_FILE");
    if (!value) {
        return std::nullopt;
    }
    return std::filesystem::path(std::move(*value));
}

void KeyboardSession::inject(KeyEvent event) { router_->route(std::move(event)); }

void KeyboardSession::disableTaps(EventType reason) { router_->disableTaps(reason); }

void KeyboardSession::failKeyboardEventsAfter(std::optional<int> successes) {
    std::lock_guard lock(mutex_);
    remainingEventCreations_ = successes;
}

std::optional<KeyEvent> KeyboardSession::makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) {
    {
        std::lock_guard lock(mutex_);
        if (remainingEventCreations_) {
            if (*remainingEventCreations_ <= 0) {
                return std::nullopt;
            }
            --*remainingEventCreations_;
        }
    }
    return KeyEvent{.type = keyDown ? EventType::keyDown : EventType::keyUp,
                    .keyCode = virtualKey,
                    .flags = 0,
                    .isAutoRepeat = false,
                    .unicodeString = {}};
}

void KeyboardSession::post(const KeyEvent& event) { router_->deliver(event); }

std::vector<KeyEvent> KeyboardSession::receivedEvents() const { return router_->receivedEvents(); }

std::u16string KeyboardSession::typedText() const {
    std::u16string text;
    for (const KeyEvent& event : router_->receivedEvents()) {
        if (event.type == EventType::keyDown) {
            text += event.unicodeString;
        }
    }
    return text;
}

} // namespace platform::desktop
