#include "ChannelHarness.hpp"

#include "Mirvo/TextInserter.hpp"
#include "Mirvo/UnicodeKeystrokes.hpp"

#include "platform/desktop/Accessibility.hpp"
#include "platform/desktop/KeyEvent.hpp"
#include "platform/desktop/KeyboardSession.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/RecordingSleeper.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;
namespace desktop = platform::desktop;

constexpr const char* channel = "mirvo/insert_text";
constexpr const char* family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
constexpr const char16_t* familyUnits = u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";

std::string letters(std::size_t count) { return std::string(count, 'a'); }

std::u16string letterUnits(std::size_t count) { return std::u16string(count, u'a'); }

std::string repeated(const std::string& piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

struct Packing {
    std::string label;
    std::string text;
    std::vector<std::u16string> keystrokes;
};

std::vector<Packing> packings() {
    const std::u16string twoFamilies = std::u16string(familyUnits) + u"\u200D" + familyUnits;
    return {
        {.label = "nothing", .text = "", .keystrokes = {}},
        {.label = "line breaks", .text = "a\r\nb\rc", .keystrokes = {u"a\nb\nc"}},
        {.label = "carriage returns in a row", .text = "\r\r\n\n", .keystrokes = {u"\n\n\n"}},
        {.label = "45 letters", .text = letters(45), .keystrokes = {letterUnits(20), letterUnits(20), letterUnits(5)}},
        {.label = "19 letters and an emoji",
         .text = letters(19) + "\U0001F600",
         .keystrokes = {letterUnits(19), u"\U0001F600"}},
        {.label = "18 letters and a family",
         .text = letters(18) + family,
         .keystrokes = {letterUnits(18) + u"\U0001F468", u"\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"}},
        {.label = "19 letters and a family",
         .text = letters(19) + family,
         .keystrokes = {letterUnits(19), familyUnits}},
        {.label = "two joined families",
         .text = std::string(family) + "\u200D" + family,
         .keystrokes = {twoFamilies.substr(0, 20), twoFamilies.substr(20)}},
        {.label = "a letter and two joined families",
         .text = "a" + std::string(family) + "\u200D" + family,
         .keystrokes = {u"a" + twoFamilies.substr(0, 18), twoFamilies.substr(18)}},
        {.label = "a supplementary mark where the keystroke is full",
         .text = "a" + repeated("\u0301", 18) + "\U0001D167\u0301",
         .keystrokes = {u"a" + std::u16string(18, u'\u0301'), u"\U0001D167\u0301"}},
        {.label = "31 marks on one letter",
         .text = "a" + repeated("\u0301", 30),
         .keystrokes = {u"a" + std::u16string(19, u'\u0301'), std::u16string(11, u'\u0301')}},
    };
}

TEST(UnicodeKeystrokesTests, CharactersArePackedIntoKeystrokesOfAtMostTwentyUnits) {
    for (const auto& packing : packings()) {
        const auto keystrokes = unicodeKeystrokes(packing.text);
        EXPECT_EQ(keystrokes, packing.keystrokes) << packing.label;
        for (const auto& keystroke : keystrokes) {
            EXPECT_GE(keystroke.size(), 1u) << packing.label;
            EXPECT_LE(keystroke.size(), maxUnitsPerKeystroke) << packing.label;
            EXPECT_FALSE(isHighSurrogate(keystroke.back())) << packing.label;
        }
    }
}

// The inserter with its own keyboard session, pause recorder and log, driven through its channel.
class InserterHost {
public:
    explicit InserterHost(bool trusted = true) : accessibility(trusted) {}

    std::optional<ui::MethodReply> insert(ui::Value arguments) {
        return harness.callAndWait(channel, "insert", std::move(arguments));
    }

    std::optional<ui::MethodReply> insertText(const std::string& text) { return insert(ui::ValueMap{{"text", text}}); }

    // The Unicode strings of the posted key presses, each checked to be a key-down of key 0 carrying the text
    // followed by a key-up of key 0 carrying none.
    std::vector<std::u16string> keystrokes() const {
        const auto events = session.receivedEvents();
        EXPECT_EQ(events.size() % 2, 0u);
        std::vector<std::u16string> strings;
        for (std::size_t i = 0; i + 1 < events.size(); i += 2) {
            EXPECT_EQ(events[i].type, desktop::EventType::keyDown);
            EXPECT_EQ(events[i].keyCode, 0);
            EXPECT_EQ(events[i + 1], (desktop::KeyEvent{.type = desktop::EventType::keyUp,
                                                        .keyCode = 0,
                                                        .flags = 0,
                                                        .isAutoRepeat = false,
                                                        .unicodeString = {}}));
            strings.push_back(events[i].unicodeString);
        }
        return strings;
    }

    // Every pause, in seconds.
    std::vector<double> pauses() const { return sleeper.waits(); }

    testsupport::RecordingLogSink log;
    testing::ChannelHarness harness;
    desktop::Accessibility accessibility;
    desktop::KeyboardSession session{accessibility};
    quorl::testing::RecordingSleeper sleeper;
    std::shared_ptr<TextInserter> plugin = std::make_shared<TextInserter>(harness.messenger(), session, sleeper);
};

const ui::MethodReply typed = ui::Value(true);
const ui::MethodReply notTyped = ui::Value(false);

TEST(TextInserterTests, TextIsTypedAsKeyPressesWithAPauseAfterEach) {
    struct Insertion {
        std::string text;
        std::vector<std::u16string> keystrokes;
        std::string logLine;
    };
    const Insertion insertions[] = {
        {.text = "a\r\nb\rc",
         .keystrokes = {u"a\nb\nc"},
         .logLine = "Mirvo: insert typed 5 chars via Unicode keystrokes"},
        {.text = letters(45),
         .keystrokes = {letterUnits(20), letterUnits(20), letterUnits(5)},
         .logLine = "Mirvo: insert typed 45 chars via Unicode keystrokes"},
        {.text = letters(19) + "\U0001F600",
         .keystrokes = {letterUnits(19), u"\U0001F600"},
         .logLine = "Mirvo: insert typed 20 chars via Unicode keystrokes"},
        {.text = "cafe\u0301 " + std::string(family),
         .keystrokes = {u"cafe\u0301 " + std::u16string(familyUnits)},
         .logLine = "Mirvo: insert typed 6 chars via Unicode keystrokes"},
    };
    for (const auto& insertion : insertions) {
        InserterHost host;

        EXPECT_EQ(host.insertText(insertion.text), typed) << insertion.text;

        EXPECT_EQ(host.keystrokes(), insertion.keystrokes) << insertion.text;
        EXPECT_EQ(host.pauses(), std::vector<double>(insertion.keystrokes.size(), 0.005)) << insertion.text;
        EXPECT_EQ(host.log.messages(), std::vector<std::string>{insertion.logLine}) << insertion.text;
    }
}

TEST(TextInserterTests, EmptyTextIsDoneAtOnceWithoutTyping) {
    InserterHost host;

    EXPECT_EQ(host.insertText(""), typed);

    EXPECT_TRUE(host.session.receivedEvents().empty());
    EXPECT_TRUE(host.pauses().empty());
    EXPECT_TRUE(host.log.messages().empty());
}

TEST(TextInserterTests, WithoutAccessibilityTrustNothingIsTypedEvenForEmptyText) {
    for (const char* text : {"", "hello"}) {
        InserterHost host(false);

        EXPECT_EQ(host.insertText(text), notTyped) << text;

        EXPECT_TRUE(host.session.receivedEvents().empty()) << text;
        EXPECT_EQ(host.log.messages(),
                  std::vector<std::string>{"Mirvo: insert skipped — Accessibility permission missing"})
            << text;
        EXPECT_EQ(host.accessibility.promptCount(), 0) << text;
    }
}

TEST(TextInserterTests, InsertWithoutAStringTextIsRefused) {
    const ui::Value malformed[] = {
        ui::Value(),
        ui::ValueList{ui::Value("hello")},
        ui::ValueMap{},
        ui::ValueMap{{"text", 42}},
        ui::ValueMap{{"text", 4.2}},
        ui::ValueMap{{"Text", "hello"}},
    };
    for (const bool trusted : {true, false}) {
        InserterHost host(trusted);
        for (const auto& arguments : malformed) {
            EXPECT_EQ(host.insert(arguments), testing::errorReply("bad_args", "text is required"));
        }
        EXPECT_TRUE(host.session.receivedEvents().empty());
        EXPECT_TRUE(host.log.messages().empty());
    }
}

TEST(TextInserterTests, AKeyEventThatCannotBeCreatedStopsTheInsertionAndKeepsWhatWasTyped) {
    struct Failure {
        int eventsCreated;
        std::vector<std::u16string> keystrokes;
    };
    const Failure failures[] = {
        {.eventsCreated = 0, .keystrokes = {}},
        {.eventsCreated = 1, .keystrokes = {}},
        {.eventsCreated = 3, .keystrokes = {letterUnits(20)}},
        {.eventsCreated = 4, .keystrokes = {letterUnits(20), letterUnits(20)}},
    };
    for (const auto& failure : failures) {
        InserterHost host;
        host.session.failKeyboardEventsAfter(failure.eventsCreated);

        EXPECT_EQ(host.insertText(letters(45)), notTyped) << failure.eventsCreated;

        EXPECT_EQ(host.keystrokes(), failure.keystrokes) << failure.eventsCreated;
        EXPECT_EQ(host.pauses(), std::vector<double>(failure.keystrokes.size(), 0.005)) << failure.eventsCreated;
        EXPECT_EQ(host.log.messages(), std::vector<std::string>{"Mirvo: insert failed — could not post keystrokes"})
            << failure.eventsCreated;
    }
}

TEST(TextInserterTests, OtherMethodsAreNotImplemented) {
    InserterHost host;
    for (const char* method : {"Insert", "insertText", "type"}) {
        EXPECT_EQ(host.harness.call(channel, method, ui::ValueMap{{"text", "hello"}}),
                  ui::MethodReply(ui::NotImplemented{}))
            << method;
    }
    EXPECT_TRUE(host.session.receivedEvents().empty());
}

// Holds every pause until opened (or a minute has passed, so that a test that never opens it fails instead of
// hanging).
class GatedSleeper final : public platform::core::Sleeper {
public:
    void sleep(std::chrono::nanoseconds, const platform::core::CancellationToken&) override {
        std::unique_lock lock(mutex_);
        asleep_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::minutes(1), [this] { return open_; });
    }

    bool waitUntilAsleep() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::minutes(1), [this] { return asleep_; });
    }

    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool asleep_ = false;
    bool open_ = false;
};

TEST(TextInserterTests, TypingLeavesTheMainQueueFreeAndInsertionsFollowInCallOrder) {
    testsupport::RecordingLogSink log;
    testing::ChannelHarness harness;
    desktop::Accessibility accessibility(true);
    desktop::KeyboardSession session{accessibility};
    GatedSleeper sleeper;
    const auto plugin = std::make_shared<TextInserter>(harness.messenger(), session, sleeper);

    std::vector<ui::MethodReply> replies;
    const auto keep = [&replies](const ui::MethodReply& reply) { replies.push_back(reply); };
    harness.messenger().send(channel, ui::MethodCall{.method = "insert", .arguments = ui::ValueMap{{"text", "ab"}}},
                             keep);
    harness.runUntilIdle();
    ASSERT_TRUE(sleeper.waitUntilAsleep());
    harness.messenger().send(channel, ui::MethodCall{.method = "insert", .arguments = ui::ValueMap{{"text", "cd"}}},
                             keep);
    EXPECT_EQ(harness.call(channel, "type"), ui::MethodReply(ui::NotImplemented{}));
    EXPECT_TRUE(replies.empty());

    sleeper.open();
    EXPECT_EQ(harness.callAndWait(channel, "insert", ui::ValueMap{{"text", "ef"}}), typed);
    EXPECT_EQ(replies, (std::vector<ui::MethodReply>{typed, typed}));
    std::vector<std::u16string> keystrokes;
    for (const auto& event : session.receivedEvents()) {
        if (event.type == desktop::EventType::keyDown) {
            keystrokes.push_back(event.unicodeString);
        }
    }
    EXPECT_EQ(keystrokes, (std::vector<std::u16string>{u"ab", u"cd", u"ef"}));
}

} // namespace
} // namespace mirvo
