#include "ChannelHarness.hpp"

#include "Mirvo/DictationCuesPlugin.hpp"
#include "Mirvo/GlobalHotkeyTap.hpp"

#include "platform/audio/RecordingAudioOutput.hpp"
#include "platform/core/Clock.hpp"
#include "platform/desktop/Accessibility.hpp"
#include "platform/desktop/KeyEvent.hpp"
#include "platform/desktop/KeyboardSession.hpp"
#include "tests/platform/ui/ValuePrinting.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace platform::desktop {

static void PrintTo(const KeyEvent& event, std::ostream* out) {
    *out << "{type=" << rawValue(event.type) << " key=" << event.keyCode << " flags=0x" << std::hex << event.flags
         << std::dec << (event.isAutoRepeat ? " repeat" : "") << "}";
}

} // namespace platform::desktop

namespace mirvo {
namespace {

namespace desktop = platform::desktop;
namespace ui = platform::ui;
using desktop::EventType;
using desktop::KeyEvent;
using namespace std::chrono_literals;

constexpr const char* methodChannel = "mirvo/hotkey";
constexpr const char* eventChannel = "mirvo/hotkey_events";

KeyEvent modifierChange(std::uint16_t keyCode, std::uint64_t flags) {
    return {.type = EventType::flagsChanged,
            .keyCode = keyCode,
            .flags = flags,
            .isAutoRepeat = false,
            .unicodeString = {}};
}

KeyEvent key(EventType type, std::uint16_t keyCode, bool isAutoRepeat = false) {
    return {.type = type,
            .keyCode = keyCode,
            .flags = 0,
            .isAutoRepeat = isAutoRepeat,
            .unicodeString = keyCode == 49 && type == EventType::keyDown ? u" " : u""};
}

namespace flags = desktop::EventFlags;
const KeyEvent fnDown = modifierChange(63, flags::maskSecondaryFn);
const KeyEvent fnUp = modifierChange(63, 0);
const KeyEvent spaceDown = key(EventType::keyDown, 49);
const KeyEvent spaceRepeat = key(EventType::keyDown, 49, true);
const KeyEvent spaceUp = key(EventType::keyUp, 49);
const KeyEvent f13Down = key(EventType::keyDown, 105);
const KeyEvent f13Repeat = key(EventType::keyDown, 105, true);
const KeyEvent f13Up = key(EventType::keyUp, 105);
const KeyEvent rightOptionDown = modifierChange(61, flags::maskAlternate);
const KeyEvent rightOptionUp = modifierChange(61, 0);
const KeyEvent leftOptionDown = modifierChange(58, flags::maskAlternate);
const KeyEvent leftOptionUp = modifierChange(58, 0);
const KeyEvent rightCommandDown = modifierChange(54, flags::maskCommand);
const KeyEvent rightCommandUp = modifierChange(54, 0);
const KeyEvent leftCommandDown = modifierChange(55, flags::maskCommand);
const KeyEvent leftCommandUp = modifierChange(55, 0);
// Shift going down and up again while fn stays held.
const KeyEvent shiftDownWithFn = modifierChange(56, flags::maskSecondaryFn | 0x20000);
const KeyEvent shiftUpWithFn = modifierChange(56, flags::maskSecondaryFn);

// One step of what the user does: a key event, which the focused application should or should not see, or
// time passing.
struct Step {
    std::optional<KeyEvent> event;
    bool reachesApplication = false;
    std::chrono::milliseconds wait{0};
};

Step passes(const KeyEvent& event) { return {.event = event, .reachesApplication = true, .wait = {}}; }
Step withheld(const KeyEvent& event) { return {.event = event, .reachesApplication = false, .wait = {}}; }
Step after(std::chrono::milliseconds wait) {
    return {.event = std::nullopt, .reachesApplication = false, .wait = wait};
}

std::vector<Step> joined(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> steps;
    for (const auto& part : parts) {
        steps.insert(steps.end(), part.begin(), part.end());
    }
    return steps;
}

std::vector<KeyEvent> reachingApplication(const std::vector<Step>& steps) {
    std::vector<KeyEvent> events;
    for (const auto& step : steps) {
        if (step.event && step.reachesApplication) {
            events.push_back(*step.event);
        }
    }
    return events;
}

ui::Value startEvent(const std::string& mode) { return ui::ValueMap{{"type", "start"}, {"mode", mode}}; }
const ui::Value stopEvent = ui::ValueMap{{"type", "stop"}};
const ui::Value lockEvent = ui::ValueMap{{"type", "mode"}, {"mode", "locked"}};

// Every event the tap sends comes with its cue and its log line; this is that pairing.
std::vector<std::string> cuesFor(const std::vector<ui::Value>& events) {
    std::vector<std::string> cues;
    for (const auto& event : events) {
        if (event == stopEvent) {
            cues.emplace_back("stop");
        } else if (event != lockEvent) {
            cues.emplace_back("start");
        }
    }
    return cues;
}

std::vector<std::string> logLinesFor(const std::vector<ui::Value>& events) {
    std::vector<std::string> lines;
    for (const auto& event : events) {
        if (event == stopEvent) {
            lines.emplace_back("Mirvo: hotkey stop");
        } else if (event == lockEvent) {
            lines.emplace_back("Mirvo: hotkey lock — staying on");
        } else {
            const auto& mode = *event.get<ui::ValueMap>()->at("mode").get<std::string>();
            lines.push_back("Mirvo: hotkey start (" + mode + ")");
        }
    }
    return lines;
}

// The tap with a keyboard of its own on a virtual clock, the cue plug-in playing into a recording output, and
// the interface layer listening to the hotkey events.
class HotkeyRig {
public:
    explicit HotkeyRig(bool trusted = true) : accessibility(trusted) {
        cuePlugin = std::make_shared<DictationCuesPlugin>(harness.messenger(), output);
        plugin = std::make_shared<GlobalHotkeyTap>(harness.messenger(), session,
                                                   [this](const std::string& which) { cuePlugin->playCue(which); });
        harness.listen(eventChannel);
    }
    ~HotkeyRig() {
        plugin.reset();
        cuePlugin.reset();
    }
    HotkeyRig(const HotkeyRig&) = delete;
    HotkeyRig& operator=(const HotkeyRig&) = delete;

    std::optional<ui::MethodReply> call(const std::string& method, ui::Value arguments = {}) {
        return harness.call(methodChannel, method, std::move(arguments));
    }

    void run(const std::vector<Step>& steps) {
        for (const auto& step : steps) {
            if (step.event) {
                session.inject(*step.event);
            } else {
                clock.advance(step.wait);
            }
            harness.runUntilIdle();
        }
    }

    std::vector<ui::Value> events() const { return harness.events(eventChannel); }

    // The cues played, by their length.
    std::vector<std::string> cues() const {
        std::vector<std::string> names;
        for (const auto& playback : output.playbacks()) {
            const auto frames = playback.buffer->frameLength();
            names.push_back(frames == 9702 ? "start" : frames == 11466 ? "stop" : std::to_string(frames));
        }
        return names;
    }

    // The hotkey's log lines, from the `first`.
    std::vector<std::string> logLines(std::size_t first = 0) const {
        std::vector<std::string> lines;
        for (const auto& message : log.messages()) {
            if (message.starts_with("Mirvo: hotkey")) {
                lines.push_back(message);
            }
        }
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(first, lines.size())));
        return lines;
    }

    platform::core::VirtualClock clock;
    testing::ChannelHarness harness{clock};
    desktop::Accessibility accessibility;
    desktop::KeyboardSession session{accessibility};
    platform::audio::RecordingAudioOutput output;
    testsupport::RecordingLogSink log;
    std::shared_ptr<DictationCuesPlugin> cuePlugin;
    std::shared_ptr<GlobalHotkeyTap> plugin;
};

const ui::MethodReply noValue = ui::Value();
const ui::MethodReply yes = ui::Value(true);
const ui::MethodReply no = ui::Value(false);

struct SequenceCase {
    std::string name;
    // The binding given to "setBinding"; none keeps the default.
    std::optional<std::string> binding;
    std::vector<Step> steps;
    std::vector<ui::Value> expectedEvents;
};

// Tap fn, then lock with space while the release waits for its confirmation.
const std::vector<Step> lockByTapAndSpace = {withheld(fnDown),    after(100ms),      withheld(fnUp), after(100ms),
                                             withheld(spaceDown), withheld(spaceUp), after(1s)};

const SequenceCase sequences[] = {
    {.name = "fn held one second: start at the press, stop at the release",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), after(1s), withheld(fnUp)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "fn held 400 ms stops at the release",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), after(400ms), withheld(fnUp)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "fn held 399 ms waits for the confirmation",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), after(399ms), withheld(fnUp)},
     .expectedEvents = {startEvent("ptt")}},
    {.name = "fn tapped: 349 ms after the release nothing yet",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), after(100ms), withheld(fnUp), after(349ms)},
     .expectedEvents = {startEvent("ptt")}},
    {.name = "fn tapped: 350 ms after the release it stops",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), after(100ms), withheld(fnUp), after(350ms)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "fn tapped, space 200 ms later: locked, and neither the space press nor its release is typed",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), after(100ms), withheld(fnUp), after(200ms), withheld(spaceDown), withheld(spaceUp),
               after(1s)},
     .expectedEvents = {startEvent("ptt"), lockEvent}},
    {.name = "fn held, space pressed, repeating and pressed again: locked, every space withheld, the release "
             "does nothing",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), after(100ms), withheld(spaceDown), withheld(spaceRepeat), withheld(spaceRepeat),
               withheld(spaceUp), withheld(spaceDown), withheld(spaceUp), after(100ms), withheld(fnUp), after(1s)},
     .expectedEvents = {startEvent("ptt"), lockEvent}},
    {.name = "space held 100 ms before fn: locked start; the space, its repeats and release are typed",
     .binding = std::nullopt,
     .steps = {passes(spaceDown), after(100ms), withheld(fnDown), passes(spaceRepeat), after(100ms), withheld(fnUp),
               passes(spaceRepeat), passes(spaceUp), after(1s)},
     .expectedEvents = {startEvent("locked")}},
    {.name = "space held 349 ms before fn is a chord",
     .binding = std::nullopt,
     .steps = {passes(spaceDown), after(349ms), withheld(fnDown)},
     .expectedEvents = {startEvent("locked")}},
    {.name = "space held 350 ms before fn is no chord",
     .binding = std::nullopt,
     .steps = {passes(spaceDown), after(350ms), withheld(fnDown)},
     .expectedEvents = {startEvent("ptt")}},
    {.name = "space released before fn is no chord",
     .binding = std::nullopt,
     .steps = {passes(spaceDown), after(100ms), passes(spaceUp), withheld(fnDown)},
     .expectedEvents = {startEvent("ptt")}},
    {.name = "spaces typed while idle pass unchanged",
     .binding = std::nullopt,
     .steps = {passes(spaceDown), passes(spaceUp), passes(spaceDown), passes(spaceRepeat), passes(spaceUp)},
     .expectedEvents = {}},
    {.name = "locked: pressing fn does nothing at the press",
     .binding = std::nullopt,
     .steps = joined({lockByTapAndSpace, {withheld(fnDown), after(1s)}}),
     .expectedEvents = {startEvent("ptt"), lockEvent}},
    {.name = "locked: pressing and releasing fn stops at the release",
     .binding = std::nullopt,
     .steps = joined({lockByTapAndSpace, {withheld(fnDown), after(100ms), withheld(fnUp), after(1s)}}),
     .expectedEvents = {startEvent("ptt"), lockEvent, stopEvent}},
    {.name = "locked: fn held and space pressed stops at the space; later spaces while fn is held are withheld",
     .binding = std::nullopt,
     .steps = joined({lockByTapAndSpace,
                      {withheld(fnDown), withheld(spaceDown), withheld(spaceUp), withheld(spaceDown), withheld(spaceUp),
                       withheld(fnUp), passes(spaceDown), passes(spaceUp), after(1s)}}),
     .expectedEvents = {startEvent("ptt"), lockEvent, stopEvent}},
    {.name = "locked: space then fn within 0.35 s stops at the press; the release does nothing",
     .binding = std::nullopt,
     .steps = joined({lockByTapAndSpace,
                      {passes(spaceDown), after(100ms), withheld(fnDown), withheld(fnUp), passes(spaceUp), after(1s)}}),
     .expectedEvents = {startEvent("ptt"), lockEvent, stopEvent}},
    {.name = "locked: spaces typed with fn up pass",
     .binding = std::nullopt,
     .steps = joined({lockByTapAndSpace, {passes(spaceDown), passes(spaceUp)}}),
     .expectedEvents = {startEvent("ptt"), lockEvent}},
    {.name = "fn pressed again while a short release is pending stops once, at the press",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), after(100ms), withheld(fnUp), after(100ms), withheld(fnDown), after(100ms),
               withheld(fnUp), after(1s)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "space after the confirmed stop is typed",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), after(100ms), withheld(fnUp), after(350ms), passes(spaceDown), passes(spaceUp)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "modifier changes that leave fn as it was pass",
     .binding = std::nullopt,
     .steps = {withheld(fnDown), passes(shiftDownWithFn), passes(shiftUpWithFn), after(1s), withheld(fnUp)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "F13 passes while the binding is fn",
     .binding = std::nullopt,
     .steps = {passes(f13Down), after(1s), passes(f13Up)},
     .expectedEvents = {}},
    {.name = "fnSpace behaves as fn",
     .binding = "fnSpace",
     .steps = {withheld(fnDown), after(1s), withheld(fnUp), withheld(fnDown), after(100ms), withheld(fnUp),
               after(200ms), withheld(spaceDown), withheld(spaceUp)},
     .expectedEvents = {startEvent("ptt"), stopEvent, startEvent("ptt"), lockEvent}},
    {.name = "rightOption: the left option key passes, the right one starts and stops",
     .binding = "rightOption",
     .steps = {passes(leftOptionDown), after(1s), passes(leftOptionUp), withheld(rightOptionDown), after(1s),
               withheld(rightOptionUp)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "rightOption: fn passes",
     .binding = "rightOption",
     .steps = {passes(fnDown), after(1s), passes(fnUp)},
     .expectedEvents = {}},
    {.name = "rightCommand: the left command key passes, the right one starts and stops",
     .binding = "rightCommand",
     .steps = {passes(leftCommandDown), after(1s), passes(leftCommandUp), withheld(rightCommandDown), after(1s),
               withheld(rightCommandUp)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "f13: held with repeats, every F13 event withheld",
     .binding = "f13",
     .steps = {withheld(f13Down), withheld(f13Repeat), withheld(f13Repeat), after(1s), withheld(f13Up)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "f13: a repeat alone is withheld and starts nothing",
     .binding = "f13",
     .steps = {withheld(f13Repeat), withheld(f13Repeat)},
     .expectedEvents = {}},
    {.name = "f13: fn passes",
     .binding = "f13",
     .steps = {passes(fnDown), after(1s), passes(fnUp)},
     .expectedEvents = {}},
    {.name = "f13 given with white space around it",
     .binding = " f13\t\n",
     .steps = {withheld(f13Down), after(1s), withheld(f13Up)},
     .expectedEvents = {startEvent("ptt"), stopEvent}},
    {.name = "an unknown binding never matches, and space is still watched",
     .binding = "capsLock",
     .steps = {passes(fnDown), passes(f13Down), passes(f13Up), passes(rightOptionDown), passes(rightOptionUp),
               after(1s), passes(fnUp), passes(spaceDown), passes(spaceUp)},
     .expectedEvents = {}},
    {.name = "a binding of only spaces is empty and never matches",
     .binding = "   ",
     .steps = {passes(fnDown), after(1s), passes(fnUp)},
     .expectedEvents = {}},
};

TEST(GlobalHotkeyTapTests, KeySequencesGiveTheirEventsCuesAndLogLinesAndWithholdTheHotkeysKeys) {
    for (const auto& sequence : sequences) {
        SCOPED_TRACE(sequence.name);
        HotkeyRig rig;
        if (sequence.binding) {
            ASSERT_EQ(rig.call("setBinding", ui::ValueMap{{"key", *sequence.binding}}), noValue);
        }
        ASSERT_EQ(rig.call("start"), yes);
        const auto logMark = rig.logLines().size();

        rig.run(sequence.steps);

        EXPECT_EQ(rig.events(), sequence.expectedEvents);
        EXPECT_EQ(rig.cues(), cuesFor(sequence.expectedEvents));
        EXPECT_EQ(rig.logLines(logMark), logLinesFor(sequence.expectedEvents));
        EXPECT_EQ(rig.session.receivedEvents(), reachingApplication(sequence.steps));
    }
}

TEST(GlobalHotkeyTapTests, StartTwiceInstallsOneTapThatStopRemoves) {
    HotkeyRig rig;
    EXPECT_EQ(rig.call("start"), yes);
    EXPECT_EQ(rig.call("start"), yes);
    EXPECT_EQ(rig.call("stop"), noValue);
    const std::vector<Step> hold = {passes(fnDown), after(1s), passes(fnUp)};
    rig.run(hold);

    EXPECT_TRUE(rig.events().empty());
    EXPECT_EQ(rig.session.receivedEvents(), reachingApplication(hold));
    EXPECT_EQ(rig.logLines(),
              (std::vector<std::string>{"Mirvo: hotkey tap started (binding=fn)", "Mirvo: hotkey tap stopped"}));
}

TEST(GlobalHotkeyTapTests, StopWhileStoppedRepliesWithoutLogging) {
    HotkeyRig rig;
    EXPECT_EQ(rig.call("stop"), noValue);
    EXPECT_TRUE(rig.logLines().empty());
}

TEST(GlobalHotkeyTapTests, StartWithoutAccessibilityTrustFailsAndWatchesNothing) {
    HotkeyRig rig(false);
    EXPECT_EQ(rig.call("start"), no);
    const std::vector<Step> hold = {passes(fnDown), after(1s), passes(fnUp)};
    rig.run(hold);

    EXPECT_TRUE(rig.events().empty());
    EXPECT_EQ(rig.session.receivedEvents(), reachingApplication(hold));
    EXPECT_EQ(rig.logLines(), std::vector<std::string>{"Mirvo: hotkey tapCreate failed (Accessibility permission?)"});

    rig.accessibility.setTrusted(true);
    EXPECT_EQ(rig.call("start"), yes);
    rig.run({withheld(fnDown)});
    EXPECT_EQ(rig.events(), std::vector<ui::Value>{startEvent("ptt")});
}

TEST(GlobalHotkeyTapTests, AccessibilityQueriesPromptOnlyWhenAskedAndNotTrusted) {
    for (const bool trusted : {true, false}) {
        SCOPED_TRACE(trusted);
        HotkeyRig rig(trusted);
        EXPECT_EQ(rig.call("hasAccessibilityPermission"), ui::MethodReply(ui::Value(trusted)));
        EXPECT_EQ(rig.accessibility.promptCount(), 0);
        EXPECT_EQ(rig.call("requestAccessibilityPermission"), ui::MethodReply(ui::Value(trusted)));
        EXPECT_EQ(rig.accessibility.promptCount(), trusted ? 0 : 1);
    }
}

struct StopCase {
    std::string name;
    std::vector<Step> before;
    // After "stop" and a new "start".
    std::vector<Step> after;
    std::vector<ui::Value> expectedEvents;
};

const StopCase stopCases[] = {
    {.name = "a locked recording ends without a stop event; the next press starts afresh",
     .before = lockByTapAndSpace,
     .after = {withheld(fnDown)},
     .expectedEvents = {startEvent("ptt"), lockEvent, startEvent("ptt")}},
    {.name = "a pending release confirmation is dropped; the next press starts afresh",
     .before = {withheld(fnDown), after(100ms), withheld(fnUp)},
     .after = {withheld(fnDown)},
     .expectedEvents = {startEvent("ptt"), startEvent("ptt")}},
    {.name = "a held binding and a withheld space are forgotten: their releases pass",
     .before = {withheld(fnDown), withheld(spaceDown)},
     .after = {passes(spaceUp), passes(fnUp), withheld(fnDown)},
     .expectedEvents = {startEvent("ptt"), lockEvent, startEvent("ptt")}},
};

TEST(GlobalHotkeyTapTests, StopForgetsTheGestureAndTheKeysSilently) {
    for (const auto& stopCase : stopCases) {
        SCOPED_TRACE(stopCase.name);
        HotkeyRig rig;
        ASSERT_EQ(rig.call("start"), yes);
        rig.run(stopCase.before);
        EXPECT_EQ(rig.call("stop"), noValue);
        rig.run({after(1s)});
        ASSERT_EQ(rig.call("start"), yes);
        const auto logMark = rig.logLines().size();
        rig.run(stopCase.after);

        EXPECT_EQ(rig.events(), stopCase.expectedEvents);
        EXPECT_EQ(rig.cues(), cuesFor(stopCase.expectedEvents));
        EXPECT_EQ(rig.session.receivedEvents(), reachingApplication(joined({stopCase.before, stopCase.after})));
        EXPECT_EQ(rig.logLines(logMark), logLinesFor({stopCase.expectedEvents.back()}));
    }
}

TEST(GlobalHotkeyTapTests, ATapDisabledBySessionIsEnabledAgainAndLogged) {
    const std::pair<EventType, std::string> reasons[] = {{EventType::tapDisabledByTimeout, "4294967294"},
                                                         {EventType::tapDisabledByUserInput, "4294967295"}};
    for (const auto& [reason, number] : reasons) {
        SCOPED_TRACE(number);
        HotkeyRig rig;
        ASSERT_EQ(rig.call("start"), yes);
        rig.session.disableTaps(reason);
        rig.harness.runUntilIdle();
        rig.run({withheld(fnDown), after(1s), withheld(fnUp)});

        EXPECT_EQ(rig.logLines(1), (std::vector<std::string>{"Mirvo: hotkey tap re-enabled after " + number,
                                                             "Mirvo: hotkey start (ptt)", "Mirvo: hotkey stop"}));
        EXPECT_EQ(rig.events(), (std::vector<ui::Value>{startEvent("ptt"), stopEvent}));
    }
}

TEST(GlobalHotkeyTapTests, SetBindingStoresTheTrimmedKeyAndLogsIt) {
    const std::pair<std::string, std::string> keys[] = {
        {"rightOption", "rightOption"}, {" \tf13\r\n", "f13"}, {"\u2003fn\u2028", "fn"}, {"   ", ""}};
    for (const auto& [given, stored] : keys) {
        SCOPED_TRACE(given);
        HotkeyRig rig;
        EXPECT_EQ(rig.call("setBinding", ui::ValueMap{{"key", given}}), noValue);
        EXPECT_EQ(rig.call("start"), yes);
        EXPECT_EQ(rig.logLines(), (std::vector<std::string>{"Mirvo: hotkey binding set to " + stored,
                                                            "Mirvo: hotkey tap started (binding=" + stored + ")"}));
    }
}

TEST(GlobalHotkeyTapTests, SetBindingWithoutAUsableKeyAnswersBadArgsAndKeepsTheBinding) {
    const ui::Value arguments[] = {
        ui::Value(),
        ui::ValueList{ui::Value("f13")},
        ui::ValueMap{},
        ui::ValueMap{{"key", 105}},
        ui::ValueMap{{"key", ""}},
    };
    for (const auto& argument : arguments) {
        SCOPED_TRACE(::testing::PrintToString(argument));
        HotkeyRig rig;
        EXPECT_EQ(rig.call("setBinding", argument), testing::errorReply("bad_args", "key is required"));
        EXPECT_EQ(rig.call("start"), yes);
        EXPECT_EQ(rig.logLines(), std::vector<std::string>{"Mirvo: hotkey tap started (binding=fn)"});
    }
}

TEST(GlobalHotkeyTapTests, UnknownMethodsAreNotImplemented) {
    HotkeyRig rig;
    for (const char* method : {"Start", "setbinding", "listen", ""}) {
        EXPECT_EQ(rig.call(method), ui::MethodReply(ui::NotImplemented{})) << method;
    }
}

TEST(GlobalHotkeyTapTests, OnceThePluginIsGoneKeysPassAndAPendingConfirmationDoesNothing) {
    HotkeyRig rig;
    ASSERT_EQ(rig.call("start"), yes);
    rig.run({withheld(fnDown), after(100ms), withheld(fnUp)});
    rig.plugin.reset();
    rig.run({after(1s), passes(fnDown), passes(fnUp)});

    EXPECT_EQ(rig.events(), std::vector<ui::Value>{startEvent("ptt")});
    EXPECT_EQ(rig.cues(), std::vector<std::string>{"start"});
    EXPECT_EQ(rig.session.receivedEvents(), (std::vector<KeyEvent>{fnDown, fnUp}));
}

} // namespace
} // namespace mirvo
