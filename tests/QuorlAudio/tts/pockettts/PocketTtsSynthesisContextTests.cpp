#include "QuorlAudio/tts/pockettts/PocketTtsSynthesisContext.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quorl::PocketTtsSynthesizer {
namespace {

TEST(PocketTtsFrameBudget, CountsWordsBetweenSpacesOnly) {
    const std::vector<std::pair<std::string, std::int64_t>> cases{
        {"", 25}, {"a  b", 50}, {"a\tb", 37}, {"one", 37}, {" one two three four five six seven eight nine ten ", 150}};
    for (const auto& [text, frames] : cases) {
        EXPECT_EQ(estimateMaxFrames(text), frames) << text;
    }
}

TEST(PocketTtsSynthesisContext, BindingLastsForItsScopeAndRestoresTheOuterOne) {
    auto outer = std::make_shared<PocketTtsModelStore>(PocketTtsModelSelection{});
    auto inner = std::make_shared<PocketTtsModelStore>(PocketTtsModelSelection{});
    EXPECT_EQ(Context::modelStore(), nullptr);
    {
        const Context::Binding outerBinding(outer);
        {
            const Context::Binding innerBinding(inner);
            EXPECT_EQ(Context::modelStore(), inner);
        }
        EXPECT_EQ(Context::modelStore(), outer);
    }
    EXPECT_EQ(Context::modelStore(), nullptr);
}

} // namespace
} // namespace quorl::PocketTtsSynthesizer
