#include "QuorlAudio/asr/multilingual/NemotronMultilingualTokenizer.hpp"

#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <vector>

namespace quorl {
namespace {

TEST(NemotronMultilingualTokenizerText, IdsDecodeToTextWithoutTagsAndTheFirstTagsLanguage) {
    testsupport::TemporaryFolder folder;
    std::ofstream(folder.path() / "tokenizer.json") << nlohmann::json{
        {"1", "\u2581hello"}, {"2", "\u2581world"}, {"3", "a"},       {"4", "\u2581\u2581\u2581"},
        {"5", "b"},           {"6", "\u2581\u2581a"}, {"7", "end\n"},  {"8", "\tstart"},
        {"9", "\u2581"},      {"20", "<en>"},        {"21", "<fr>"},  {"22", "de"},
        {"10", "<>"},         {"11", "x  \u2581 y "}, {"12", "a\t\tb"},
    }.dump();
    const NemotronMultilingualTokenizer tokenizer(folder.path() / "tokenizer.json", {10, 20, 21, 22, 23});
    struct Case {
        std::vector<std::int64_t> ids;
        NemotronMultilingualDecoded expected;
    };
    const Case cases[] = {
        {{}, {"", std::nullopt}},
        {{1, 20, 2}, {"hello world", "en"}},
        {{3, 4, 5}, {"a b", std::nullopt}},
        {{6}, {"a", std::nullopt}},
        {{20, 21}, {"", "en"}},
        {{23, 21, 1}, {"hello", "fr"}},
        {{21, 1, 20, 2}, {"hello world", "fr"}},
        {{22, 1}, {"hello", "de"}},
        {{10, 1}, {"hello", ""}},
        {{8, 7}, {"startend\n", std::nullopt}},
        {{1, 99, 2}, {"hello world", std::nullopt}},
        {{9, 9, 9}, {"", std::nullopt}},
        {{11, 11}, {"x y x y", std::nullopt}},
        {{12, 9, 12}, {"a\t\tb a\t\tb", std::nullopt}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(tokenizer.decode(testCase.ids), testCase.expected) << testing::PrintToString(testCase.ids);
    }
}

TEST(NemotronMultilingualTokenizerText, TagsAreFoundByTheirExactCode) {
    testsupport::TemporaryFolder folder;
    std::ofstream(folder.path() / "tokenizer.json")
        << nlohmann::json{{"1", "\u2581the"}, {"20", "<en>"}, {"21", "fr"}, {"24", "<EN>"}, {"25", "\u2581"}}.dump();
    const NemotronMultilingualTokenizer tokenizer(folder.path() / "tokenizer.json", {20, 21, 23});
    EXPECT_EQ(tokenizer.langTagTokenId("en"), 20);
    EXPECT_EQ(tokenizer.langTagTokenId("EN"), std::nullopt);
    EXPECT_EQ(tokenizer.langTagTokenId("fr"), std::nullopt);
    EXPECT_EQ(tokenizer.rawToken(1), "\u2581the");
    EXPECT_EQ(tokenizer.rawToken(2), std::nullopt);

    using Manager = StreamingNemotronMultilingualAsrManager;
    EXPECT_EQ(Manager::tokenizerPiece(1, tokenizer), "the");
    EXPECT_EQ(Manager::tokenizerPiece(20, tokenizer), "<en>");
    EXPECT_EQ(Manager::tokenizerPiece(21, tokenizer), "<fr>");
    EXPECT_EQ(Manager::tokenizerPiece(23, tokenizer), std::nullopt);
    EXPECT_EQ(Manager::tokenizerPiece(25, tokenizer), std::nullopt);
    EXPECT_EQ(Manager::tokenizerPiece(99, tokenizer), std::nullopt);
}

TEST(NemotronMultilingualTokenizerText, AnUnreadableVocabularyFailsConstruction) {
    testsupport::TemporaryFolder folder;
    EXPECT_THROW(NemotronMultilingualTokenizer(folder.path() / "tokenizer.json", {}),
                 std::filesystem::filesystem_error);
}

} // namespace
} // namespace quorl
