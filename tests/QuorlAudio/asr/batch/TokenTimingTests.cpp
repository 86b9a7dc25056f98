#include "QuorlAudio/asr/batch/TokenTiming.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quorl {
namespace {

TEST(TokenTimingTests, JsonUsesTheFieldNamesAndRequiresThemAll) {
    const TokenTiming timing{" the", 42, 0.08, 0.16, 0.9f};
    nlohmann::json json = timing;
    EXPECT_EQ(json.dump(), R"({"confidence":0.9,"endTime":0.16,"startTime":0.08,"token":" the","tokenId":42})");

    json["extra"] = true;
    EXPECT_EQ(json.get<TokenTiming>(), timing);
    for (const char* key : {"token", "tokenId", "startTime", "endTime", "confidence"}) {
        nlohmann::json incomplete = json;
        incomplete.erase(key);
        EXPECT_THROW(incomplete.get<TokenTiming>(), nlohmann::json::exception) << key;
    }
}

} // namespace
} // namespace quorl
