#include "ChannelHarness.hpp"

#include "Mirvo/MethodArguments.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/ui/MethodResult.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;
using Emptiness = MethodArguments::Emptiness;

class MethodArgumentsTests : public ::testing::Test {
protected:
    platform::core::MainQueue mainQueue;
    std::optional<ui::MethodReply> reply;
    ui::MethodResult result{mainQueue, [this](ui::MethodReply answer) { reply = std::move(answer); }};

    std::optional<std::string> requireLocale(const ui::Value& arguments, Emptiness emptiness = Emptiness::refused) {
        auto locale = MethodArguments(arguments).requiredString("locale", "locale is required", result, emptiness);
        mainQueue.runUntilIdle();
        return locale;
    }
};

TEST_F(MethodArgumentsTests, AMissingOrMalformedRequiredStringIsAnsweredWithBadArgs) {
    const struct {
        const char* name;
        ui::Value arguments;
    } cases[] = {
        {"no arguments", ui::Value()},
        {"a list instead of a map", ui::ValueList{"locale", "en-US"}},
        {"a string instead of a map", ui::Value("en-US")},
        {"key absent", ui::ValueMap{{"language", "en-US"}}},
        {"a number", ui::ValueMap{{"locale", 42}}},
        {"a Boolean", ui::ValueMap{{"locale", true}}},
        {"null", ui::ValueMap{{"locale", nullptr}}},
        {"an empty string", ui::ValueMap{{"locale", ""}}},
    };
    for (const auto& c : cases) {
        reply.reset();
        ui::MethodResult caseResult(mainQueue, [this](ui::MethodReply answer) { reply = std::move(answer); });
        EXPECT_EQ(MethodArguments(c.arguments).requiredString("locale", "locale is required", caseResult), std::nullopt)
            << c.name;
        mainQueue.runUntilIdle();
        EXPECT_EQ(reply, testing::errorReply("bad_args", "locale is required")) << c.name;
    }
}

TEST_F(MethodArgumentsTests, ARequiredStringIsReturnedUnchangedWithoutAnswering) {
    EXPECT_EQ(requireLocale(ui::ValueMap{{"locale", "  zh-CN "}, {"extra", 1}}), "  zh-CN ");
    EXPECT_FALSE(reply.has_value());
}

TEST_F(MethodArgumentsTests, AnEmptyStringPassesWhereEmptinessIsAllowed) {
    EXPECT_EQ(requireLocale(ui::ValueMap{{"locale", ""}}, Emptiness::allowed), "");
    EXPECT_FALSE(reply.has_value());
    EXPECT_EQ(requireLocale(ui::ValueMap{{"locale", 1.5}}, Emptiness::allowed), std::nullopt);
    EXPECT_EQ(reply, testing::errorReply("bad_args", "locale is required"));
}

TEST_F(MethodArgumentsTests, OptionalValuesOfTheWrongTypeReadAsAbsent) {
    const MethodArguments arguments(ui::ValueMap{{"listening", "yes"}, {"clockRunning", false}, {"elapsed", 3.5}});

    EXPECT_EQ(arguments.value<bool>("listening"), nullptr);
    ASSERT_NE(arguments.value<bool>("clockRunning"), nullptr);
    EXPECT_FALSE(*arguments.value<bool>("clockRunning"));
    EXPECT_EQ(arguments.value<std::string>("elapsed"), nullptr);
    EXPECT_EQ(arguments.value<double>("missing"), nullptr);
    EXPECT_EQ(arguments.string("clockRunning"), std::nullopt);
}

TEST_F(MethodArgumentsTests, AMalformedStringListBecomesTheEmptyList) {
    using Strings = std::vector<std::string>;
    EXPECT_EQ(MethodArguments(ui::ValueMap{{"contextualPhrases", ui::ValueList{"Mirvo", "Quorl"}}})
                  .stringList("contextualPhrases"),
              (Strings{"Mirvo", "Quorl"}));
    for (const ui::Value& malformed : {ui::Value(), ui::Value("Mirvo"), ui::Value(ui::ValueList{"Mirvo", 3})}) {
        EXPECT_EQ(MethodArguments(ui::ValueMap{{"contextualPhrases", malformed}}).stringList("contextualPhrases"),
                  Strings{});
    }
    EXPECT_EQ(MethodArguments(ui::ValueList{"Mirvo"}).stringList("contextualPhrases"), Strings{});
}

} // namespace
} // namespace mirvo
