#pragma once

namespace platform::desktop {

// The kinds of event the application dispatches to its controls.
enum class ApplicationEventType { leftMouseDown, leftMouseUp, rightMouseDown, rightMouseUp, other };

// The event the application is handling.
struct ApplicationEvent {
    ApplicationEventType type = ApplicationEventType::other;
    bool controlKeyHeld = false;
};

} // namespace platform::desktop
