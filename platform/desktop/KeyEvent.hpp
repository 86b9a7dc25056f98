#pragma once

#include <cstdint>
#include <string>

namespace platform::desktop {

// The kinds of event a keyboard tap sees. Raw values are the session's event type numbers; the two
// tap-disabled notices are sent to a tap's callback, never typed.
enum class EventType : std::uint32_t {
    keyDown = 10,
    keyUp = 11,
    flagsChanged = 12,
    tapDisabledByTimeout = 0xFFFFFFFEu,
    tapDisabledByUserInput = 0xFFFFFFFFu,
};

constexpr std::uint32_t rawValue(EventType type) { return static_cast<std::uint32_t>(type); }

// Modifier bits of KeyEvent::flags.
namespace EventFlags {
constexpr std::uint64_t maskAlternate = 0x80000;
constexpr std::uint64_t maskCommand = 0x100000;
constexpr std::uint64_t maskSecondaryFn = 0x800000;
} // namespace EventFlags

// One keyboard event: a key going down or up, or a change of the modifier keys (whose key code is the
// modifier key that changed and whose flags are the modifiers held afterwards).
struct KeyEvent {
    EventType type = EventType::keyDown;
    // Virtual key code.
    std::uint16_t keyCode = 0;
    std::uint64_t flags = 0;
    // A key held down sends repeated key-downs; all but the first are auto-repeats.
    bool isAutoRepeat = false;
    // The text the event types, as UTF-16 units.
    std::u16string unicodeString;

    bool operator==(const KeyEvent&) const = default;
};

} // namespace platform::desktop
