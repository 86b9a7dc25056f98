#include "QuorlAudio/tts/frontend/CachePayload.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace quorl {
namespace {

using Lexicon = CachePayload::Lexicon;

class CachePayloadTest : public ::testing::Test {
protected:
    CachePayload read(const std::string& json) const {
        std::ofstream(file, std::ios::binary) << json;
        return CachePayload::read(file, {"a", "b"});
    }

    testsupport::TemporaryFolder scratch;
    const std::filesystem::path file = scratch.path() / "us_lexicon_cache.json";
};

TEST_F(CachePayloadTest, SkipsOtherKeysWhateverTheyHoldAndTakesTheLastOfRepeatedWords) {
    const auto payload = read(R"({"version": [1, {"lower": {"x": ["a"]}}], "lower": {"w": ["b"], "w": ["a", "c"]},
                                  "notes": {"caseSensitive": []}, "caseSensitive": {"W": ["b", "a", "b"]},
                                  "flag": true})");
    EXPECT_EQ(payload.lower, (Lexicon{{"w", {"a"}}}));
    EXPECT_EQ(payload.caseSensitive, (Lexicon{{"W", {"b", "a", "b"}}}));
}

TEST_F(CachePayloadTest, RefusesEveryOtherShape) {
    const struct {
        std::string json;
        std::string error;
    } cases[] = {
        {R"({"lower": {}})", "key 'caseSensitive' not found"},
        {R"({"caseSensitive": {}})", "key 'lower' not found"},
        {R"([])", "expected an object but found an array"},
        {R"({"lower": [], "caseSensitive": {}})", "expected an object but found an array"},
        {R"({"lower": {"w": "a"}, "caseSensitive": {}})", "expected an array but found a string"},
        {R"({"lower": {"w": [1]}, "caseSensitive": {}})", "expected a string but found a number"},
        {R"({"lower": {"w": [["a"]]}, "caseSensitive": {}})", "expected a string but found an array"},
        {R"({"lower": null, "caseSensitive": {}})", "expected an object but found null"},
        {R"({"lower": {"w": ["a"]})", "[json.exception.parse_error.101]"},
        {"", "[json.exception.parse_error.101]"},
    };
    for (const auto& c : cases) {
        const auto error = testsupport::errorText([&] { read(c.json); });
        EXPECT_TRUE(error.starts_with(c.error)) << c.json << " gave " << error;
    }
}

} // namespace
} // namespace quorl
