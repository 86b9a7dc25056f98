#include "platform/desktop/KeyboardSession.hpp"
#include "platform/desktop/KeyboardSessionChoice.hpp"
#include "platform/desktop/X11KeyboardSession.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/XvfbServer.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using platform::desktop::KeyboardSessionChoice;
using platform::desktop::X11KeyboardSession;
using Kind = KeyboardSessionChoice::Kind;

TEST(KeyboardSessionChoiceTest, TheVariableForcesEitherKeyboardElseADisplayIsTriedWhenOneIsNamed) {
    struct Case {
        std::optional<std::string> keyboard;
        std::optional<std::string> display;
        Kind kind;
    };
    const Case cases[] = {
        {.keyboard = std::nullopt, .display = std::nullopt, .kind = Kind::inProcess},
        {.keyboard = std::nullopt, .display = "", .kind = Kind::inProcess},
        {.keyboard = std::nullopt, .display = ":3", .kind = Kind::x11WhenTrusted},
        {.keyboard = "x11", .display = std::nullopt, .kind = Kind::x11},
        {.keyboard = "in-process", .display = ":3", .kind = Kind::inProcess},
        {.keyboard = "wayland", .display = ":3", .kind = Kind::x11WhenTrusted},
    };
    for (const auto& [keyboard, display, kind] : cases) {
        testsupport::ScopedEnvironment environment;
        environment.set("MIRVO_KEYBOARD", keyboard).set("DISPLAY", display);
        EXPECT_EQ(KeyboardSessionChoice::fromEnvironment().kind, kind)
            << keyboard.value_or("(unset)") << " " << display.value_or("(unset)");
    }
}

TEST(KeyboardSessionChoiceTest, AReachableDisplayGivesItsKeyboardAndAnUnreachableOneTheInProcessKeyboard) {
    if (!testsupport::XvfbServer::binary()) {
        GTEST_SKIP() << "no Xvfb binary on the PATH (scripts/install-deps installs it)";
    }
    const testsupport::XvfbServer server;
    const auto reachable = KeyboardSessionChoice{.kind = Kind::x11WhenTrusted, .display = server.display()}.make();
    EXPECT_NE(dynamic_cast<X11KeyboardSession*>(reachable.get()), nullptr);
    const auto unreachable = KeyboardSessionChoice{.kind = Kind::x11WhenTrusted, .display = ":65000"}.make();
    EXPECT_EQ(dynamic_cast<X11KeyboardSession*>(unreachable.get()), nullptr);
}

} // namespace
