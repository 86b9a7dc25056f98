#include "platform/desktop/Accessibility.hpp"

#include <gtest/gtest.h>

namespace {

using platform::desktop::Accessibility;

TEST(AccessibilityTest, TrustCheckShowsAPromptOnlyWhenAskedToAndNotTrusted) {
    struct Case {
        bool trusted;
        bool prompt;
        int expectedPrompts;
    };
    for (const Case& check : {Case{.trusted = true, .prompt = false, .expectedPrompts = 0},
                              Case{.trusted = true, .prompt = true, .expectedPrompts = 0},
                              Case{.trusted = false, .prompt = false, .expectedPrompts = 0},
                              Case{.trusted = false, .prompt = true, .expectedPrompts = 1}}) {
        SCOPED_TRACE(testing::Message() << "trusted " << check.trusted << ", prompt " << check.prompt);
        Accessibility accessibility(check.trusted);
        EXPECT_EQ(accessibility.isProcessTrusted(check.prompt), check.trusted);
        EXPECT_EQ(accessibility.promptCount(), check.expectedPrompts);
    }
}

TEST(AccessibilityTest, EachPromptIsCountedAndTrustCanBeGrantedLater) {
    Accessibility accessibility(false);
    accessibility.isProcessTrusted(true);
    accessibility.isProcessTrusted(true);
    EXPECT_EQ(accessibility.promptCount(), 2);
    accessibility.setTrusted(true);
    EXPECT_TRUE(accessibility.isProcessTrusted(true));
    EXPECT_EQ(accessibility.promptCount(), 2);
}

} // namespace
