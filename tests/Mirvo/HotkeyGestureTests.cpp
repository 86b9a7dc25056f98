#include "Mirvo/HotkeyGesture.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace mirvo {

static void PrintTo(HotkeyAction action, std::ostream* out) {
    constexpr const char* names[] = {"start", "stop", "lock", "releasePending", "none"};
    *out << names[static_cast<int>(action)];
}

static void PrintTo(const HotkeyGesture& gesture, std::ostream* out) {
    *out << "{bindingDown=" << gesture.isBindingDown << " recording=" << gesture.isRecording
         << " mode=" << gesture.mode.value_or("<none>") << " stoppedOnThisPress=" << gesture.stoppedOnThisPress
         << " wasLockedBeforePress=" << gesture.wasLockedBeforePress
         << " spaceSeenThisPress=" << gesture.spaceSeenThisPress << "}";
}

namespace {

enum class Input { down, chordDown, spaceDown, up, confirmRelease };

HotkeyAction apply(HotkeyGesture& gesture, Input input) {
    switch (input) {
    case Input::down: return gesture.down(false);
    case Input::chordDown: return gesture.down(true);
    case Input::spaceDown: return gesture.spaceDown();
    case Input::up: return gesture.up();
    case Input::confirmRelease: return gesture.confirmRelease();
    }
    return HotkeyAction::none;
}

using Step = std::pair<Input, HotkeyAction>;

HotkeyGesture gesture(bool isBindingDown, bool isRecording, std::optional<std::string> mode,
                      bool stoppedOnThisPress = false, bool wasLockedBeforePress = false,
                      bool spaceSeenThisPress = false) {
    return {.isBindingDown = isBindingDown,
            .isRecording = isRecording,
            .mode = std::move(mode),
            .stoppedOnThisPress = stoppedOnThisPress,
            .wasLockedBeforePress = wasLockedBeforePress,
            .spaceSeenThisPress = spaceSeenThisPress};
}

const HotkeyGesture idle{};
const HotkeyGesture locked = gesture(false, true, "locked");
// Locked by space while the binding was up: the space stays remembered until the next press.
const HotkeyGesture lockedBySpace = gesture(false, true, "locked", false, false, true);
const HotkeyGesture pushToTalkHeld = gesture(true, true, "ptt");
const HotkeyGesture heldAfterStopping = gesture(true, false, std::nullopt, true);

struct Case {
    std::string name;
    HotkeyGesture initial;
    std::vector<Step> steps;
    HotkeyGesture expected;
};

using enum Input;
using enum HotkeyAction;

const Case cases[] = {
    {.name = "hold the binding and release: start, then the confirmed release stops",
     .initial = idle,
     .steps = {{down, start}, {up, releasePending}, {confirmRelease, stop}},
     .expected = idle},
    {.name = "tap, then space while the release is pending: lock, and confirming does nothing",
     .initial = idle,
     .steps = {{down, start}, {up, releasePending}, {spaceDown, lock}, {confirmRelease, none}},
     .expected = lockedBySpace},
    {.name = "hold the binding, press space: lock, and the release does nothing",
     .initial = idle,
     .steps = {{down, start}, {spaceDown, lock}, {up, none}},
     .expected = locked},
    {.name = "a chord starts a locked recording that the release keeps",
     .initial = idle,
     .steps = {{chordDown, start}, {up, none}},
     .expected = locked},
    {.name = "locked: press and release the binding stops at the release",
     .initial = locked,
     .steps = {{down, none}, {up, stop}},
     .expected = idle},
    {.name = "locked: hold the binding and press space stops at the space, the release does nothing",
     .initial = locked,
     .steps = {{down, none}, {spaceDown, stop}, {up, none}},
     .expected = idle},
    {.name = "locked: a chord stops at the press, the release does nothing",
     .initial = locked,
     .steps = {{chordDown, stop}, {up, none}},
     .expected = idle},
    {.name = "pressing again while a short release is pending stops at the press",
     .initial = idle,
     .steps = {{down, start}, {up, releasePending}, {down, stop}, {up, none}, {confirmRelease, none}},
     .expected = idle},
    {.name = "a second down without an up changes nothing",
     .initial = idle,
     .steps = {{down, start}, {down, none}, {chordDown, none}},
     .expected = pushToTalkHeld},
    {.name = "an up without a down does nothing", .initial = idle, .steps = {{up, none}}, .expected = idle},
    {.name = "confirming while the binding is held does nothing",
     .initial = idle,
     .steps = {{down, start}, {confirmRelease, none}},
     .expected = pushToTalkHeld},
    {.name = "confirming after the binding went down again does nothing",
     .initial = idle,
     .steps = {{down, start}, {up, releasePending}, {down, stop}, {confirmRelease, none}},
     .expected = heldAfterStopping},
    {.name = "space while idle with the binding up does nothing",
     .initial = idle,
     .steps = {{spaceDown, none}, {confirmRelease, none}},
     .expected = idle},
    {.name = "space while locked with the binding up does nothing",
     .initial = locked,
     .steps = {{spaceDown, none}},
     .expected = locked},
    {.name = "space again after space stopped a locked recording does nothing",
     .initial = locked,
     .steps = {{down, none}, {spaceDown, stop}, {spaceDown, none}, {up, none}},
     .expected = idle},
    {.name = "a recording without a mode is stopped by the next press",
     .initial = gesture(false, true, std::nullopt),
     .steps = {{down, stop}, {up, none}},
     .expected = idle},
    {.name = "a recording in an unknown mode is stopped by the next press and never locked by space",
     .initial = gesture(false, true, "other"),
     .steps = {{spaceDown, none}, {confirmRelease, none}, {down, stop}},
     .expected = heldAfterStopping},
    {.name = "a press after a stopping press starts afresh with clear per-press flags",
     .initial = gesture(false, false, std::nullopt, true, true),
     .steps = {{down, start}},
     .expected = pushToTalkHeld},
};

TEST(HotkeyGestureTests, TransitionsGiveTheirActionsAndLeaveTheGestureAtRest) {
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        auto gesture = testCase.initial;
        for (std::size_t index = 0; index < testCase.steps.size(); ++index) {
            const auto& [input, action] = testCase.steps[index];
            EXPECT_EQ(apply(gesture, input), action) << "step " << index;
        }
        EXPECT_EQ(gesture, testCase.expected);
    }
}

} // namespace
} // namespace mirvo
