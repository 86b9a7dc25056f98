#pragma once

#include <optional>
#include <string>

namespace mirvo {

// What a key transition asks of dictation.
enum class HotkeyAction {
    start,
    stop,
    lock,
    // A push-to-talk release that the caller still has to confirm (at once after a long hold, or later).
    releasePending,
    none,
};

// Turns presses and releases of the dictation hotkey (the binding) and of the space bar into dictation
// actions. A plain value without timers: the caller decides what is a chord and what a long hold, and acts
// on the returned action.
struct HotkeyGesture {
    // Recording lasts while the binding is held.
    static constexpr const char* pushToTalkMode = "ptt";
    // Recording stays on after the binding is released, until the user stops it.
    static constexpr const char* lockedMode = "locked";

    bool isBindingDown = false;
    bool isRecording = false;
    // pushToTalkMode or lockedMode while recording; empty otherwise.
    std::optional<std::string> mode;
    // The current press already stopped a recording, so its release must not act again.
    bool stoppedOnThisPress = false;
    bool wasLockedBeforePress = false;
    // Space went down during the current press (or the press was a chord with space).
    bool spaceSeenThisPress = false;

    // The binding went down; `chord` when space was already held and went down just before it.
    HotkeyAction down(bool chord);
    // Space went down (not an auto-repeat).
    HotkeyAction spaceDown();
    // The binding went up.
    HotkeyAction up();
    // Ends a push-to-talk recording whose release is pending.
    HotkeyAction confirmRelease();

    bool operator==(const HotkeyGesture&) const = default;

private:
    bool isInMode(const char* wanted) const { return mode == wanted; }
    // Ends the recording because of the current press.
    HotkeyAction stopOnThisPress();
};

} // namespace mirvo
