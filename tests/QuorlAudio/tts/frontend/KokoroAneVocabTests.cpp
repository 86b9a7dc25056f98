#include "QuorlAudio/tts/frontend/KokoroAneVocab.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Ids = std::vector<std::int32_t>;

class KokoroAneVocabTests : public ::testing::Test {
protected:
    std::filesystem::path writeVocab(const std::string& json) {
        const auto file = folder.path() / "vocab.json";
        std::ofstream(file) << json;
        return file;
    }

    testsupport::TemporaryFolder folder;
};

TEST_F(KokoroAneVocabTests, KeepsOnlyOneCharacterKeysWithIntegerIds) {
    // "e" followed by U+0301 is one character; "ab" and "" are not; 1.5, "7" and [1] are not integers.
    const auto vocab = KokoroAneVocab::load(
        writeVocab(R"({"a": 1, "\u0259": 2, "e\u0301": 3, "ab": 4, "": 5, "b": 1.5, "c": "7", "d": [1], ",": 6})"));
    const std::unordered_map<std::string, std::int32_t> expected{{"a", 1}, {"\u0259", 2}, {"e\u0301", 3}, {",", 6}};
    EXPECT_EQ(vocab.map, expected);
}

TEST_F(KokoroAneVocabTests, ReportsEachBadFile) {
    const auto missing = folder.path() / "none.json";
    EXPECT_EQ(testsupport::errorText([&] { KokoroAneVocab::load(missing); }),
              "KokoroAne vocab.json not found at " + missing.string() + ".");
    const auto array = writeVocab("[1, 2]");
    EXPECT_EQ(testsupport::errorText([&] { KokoroAneVocab::load(array); }),
              "KokoroAne vocab.json at " + array.string() + " is malformed: expected top-level JSON object");
    const auto huge = writeVocab(R"({"a": 4294967296})");
    EXPECT_EQ(testsupport::errorText([&] { KokoroAneVocab::load(huge); }),
              "KokoroAne vocab.json at " + huge.string() + " is malformed: id of 'a' does not fit in 32 bits");
    EXPECT_THROW(KokoroAneVocab::load(writeVocab("{\"a\": ")), nlohmann::json::parse_error);
}

TEST(KokoroAneVocabEncodeTests, FramesKnownCharactersAndDropsUnknownOnes) {
    const KokoroAneVocab vocab{.map = {{"h", 50}, {"\u0259", 83}, {"e\u0301", 7}, {" ", 16}}};
    EXPECT_EQ(vocab.encode(""), (Ids{0, 0}));
    EXPECT_EQ(vocab.encode("h\u0259 xe\u0301"), (Ids{0, 50, 83, 16, 7, 0}));
}

TEST(KokoroAneVocabEncodeTests, TakesAtMost510Characters) {
    const KokoroAneVocab vocab{.map = {{"a", 43}, {"e\u0301", 7}}};
    EXPECT_EQ(vocab.encode(std::string(510, 'a')).size(), 512U);
    std::string accented;
    for (int i = 0; i < 510; ++i) {
        accented += "e\u0301";
    }
    EXPECT_EQ(vocab.encode(accented).size(), 512U);
    try {
        vocab.encode(std::string(511, 'a'));
        FAIL() << "511 characters were encoded";
    } catch (const KokoroAneError& error) {
        EXPECT_EQ(error.kind(), KokoroAneError::Kind::phonemeSequenceTooLong);
        EXPECT_STREQ(error.what(), "KokoroAne phoneme sequence has 511 characters (max 510).");
    }
}

} // namespace
} // namespace quorl
