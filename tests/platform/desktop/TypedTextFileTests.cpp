#include "platform/desktop/Accessibility.hpp"
#include "platform/desktop/KeyboardSession.hpp"
#include "tests/platform/desktop/Typing.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace platform::desktop;
using desktoptest::typing;
using testsupport::fileContents;

// A session made as the host's is, with "MIRVO_TYPED_TEXT_FILE" naming a file in a scratch folder.
class TypedTextFileTest : public ::testing::Test {
protected:
    TypedTextFileTest() { environment.set("MIRVO_TYPED_TEXT_FILE", file.string()); }

    testsupport::TemporaryFolder folder;
    const std::filesystem::path file = folder.path() / "typed.txt";
    testsupport::ScopedEnvironment environment;
    Accessibility accessibility;
};

TEST_F(TypedTextFileTest, EveryKeyDownTheApplicationReceivesIsAppendedAtOnceInUtf8) {
    std::ofstream(file) << "earlier|";
    KeyboardSession session(accessibility, KeyboardSession::typedTextFileFromEnvironment());

    session.post(typing(EventType::keyDown, u"a\n"));
    EXPECT_EQ(fileContents(file), "earlier|a\n");
    session.post(typing(EventType::keyUp, u"up"));
    session.post(typing(EventType::flagsChanged, u"flags"));
    session.inject(typing(EventType::keyDown, u"\u00e9\U0001F600"));
    session.post(typing(EventType::keyDown, u""));
    session.post(typing(EventType::keyDown, u"b"));

    EXPECT_EQ(fileContents(file), "earlier|a\n\u00e9\U0001F600b");
    EXPECT_EQ(session.typedText(), u"a\n\u00e9\U0001F600b");
}

TEST_F(TypedTextFileTest, UnitsAreWrittenAsUtf8WithLoneSurrogatesReplaced) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"plain", "plain"},
        {u"\u00e9\u20ac", "\u00e9\u20ac"},
        {u"\U0001F469\u200D\U0001F4BB", "\U0001F469\u200D\U0001F4BB"},
        {std::u16string{u'a', char16_t{0xD83D}}, "a\uFFFD"},
        {std::u16string{char16_t{0xDE00}, u'b'}, "\uFFFDb"},
        {std::u16string{char16_t{0xD83D}, u'c', char16_t{0xDE00}}, "\uFFFDc\uFFFD"},
    };
    for (const auto& [units, utf8] : cases) {
        std::filesystem::remove(file);
        KeyboardSession session(accessibility, KeyboardSession::typedTextFileFromEnvironment());
        session.post(typing(EventType::keyDown, units));
        EXPECT_EQ(fileContents(file), utf8) << utf8;
    }
}

TEST_F(TypedTextFileTest, TheEnvironmentNamesTheFileOnlyWhenSetAndNotEmpty) {
    const std::pair<std::optional<std::string>, std::optional<std::filesystem::path>> cases[] = {
        {std::nullopt, std::nullopt},
        {"", std::nullopt},
        {"/run/typed text.txt", std::filesystem::path("/run/typed text.txt")},
    };
    for (const auto& [value, expected] : cases) {
        environment.set("MIRVO_TYPED_TEXT_FILE", value);
        EXPECT_EQ(KeyboardSession::typedTextFileFromEnvironment(), expected) << value.value_or("<unset>");
    }
}

TEST_F(TypedTextFileTest, AFileThatCannotBeWrittenIsLoggedAndTheEventStillArrives) {
    testsupport::RecordingLogSink log;
    const auto unreachable = folder.path() / "missing" / "typed.txt";
    KeyboardSession session(accessibility, unreachable);

    session.post(typing(EventType::keyDown, u"x"));

    EXPECT_EQ(session.typedText(), u"x");
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Keyboard session: cannot append typed text to " +
                                                       unreachable.string() + ": No such file or directory"});
}

} // namespace
