#include "QuorlAudio/asr/streaming/Tokenizer.hpp"

#include "QuorlAudio/asr/streaming/TokenizerError.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

std::filesystem::path writeFile(const testsupport::TemporaryFolder& folder, const std::string& contents) {
    const auto path = folder.path() / "vocab.json";
    std::ofstream(path) << contents;
    return path;
}

Tokenizer tokenizerOf(const testsupport::TemporaryFolder& folder, const nlohmann::json& vocabulary) {
    return Tokenizer(writeFile(folder, vocabulary.dump()));
}

TEST(TokenizerTests, DecodesPiecesIntoTrimmedText) {
    const testsupport::TemporaryFolder folder;
    const auto tokenizer = tokenizerOf(folder, {{"0", "\u2581he"},
                                                {"1", "llo"},
                                                {"2", "\u2581world"},
                                                {"3", "!"},
                                                {"4", "\u2581"},
                                                {"5", "line\n"},
                                                {"6", "\u2581\u2581"}});
    const struct {
        std::vector<std::int64_t> ids;
        std::string text;
    } cases[] = {
        {{0, 1, 2, 3}, "hello world!"},
        {{}, ""},
        {{999}, ""},
        {{0, 999, 1}, "hello"},
        {{0, 1, 4}, "hello"},
        {{0, 6, 2}, "he   world"},
        {{0, 5}, "heline\n"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(tokenizer.decode(testCase.ids), testCase.text) << testCase.text;
    }
}

TEST(TokenizerTests, ReadsSignedDecimalKeysOnly) {
    const testsupport::TemporaryFolder folder;
    const auto tokenizer = tokenizerOf(folder, {{"+3", "plus"},
                                                {"-1", "minus"},
                                                {" 4", "space"},
                                                {"5.0", "decimal"},
                                                {"abc", "letters"},
                                                {"", "empty"},
                                                {"+-6", "two signs"},
                                                {"99999999999999999999", "too large"},
                                                {"9223372036854775807", "largest"}});
    EXPECT_EQ(tokenizer.piece(3), "plus");
    EXPECT_EQ(tokenizer.piece(-1), "minus");
    EXPECT_EQ(tokenizer.rawToken(INT64_MAX), "largest");
    EXPECT_EQ(tokenizer.idToToken().size(), 3u);
    EXPECT_EQ(tokenizer.vocab().size(), 9u);
    EXPECT_EQ(tokenizer.vocab().at(" 4"), "space");
    EXPECT_EQ(tokenizer.piece(4), std::nullopt);
    EXPECT_EQ(tokenizer.piece(-6), std::nullopt);
}

TEST(TokenizerTests, PieceKeepsTheWordMarker) {
    const testsupport::TemporaryFolder folder;
    const auto tokenizer = tokenizerOf(folder, {{"0", "\u2581he"}});
    EXPECT_EQ(tokenizer.piece(0), "\u2581he");
    EXPECT_EQ(tokenizer.rawToken(0), "\u2581he");
    EXPECT_EQ(tokenizer.piece(999), std::nullopt);
}

TEST(TokenizerTests, RefusesFilesThatAreNotAVocabulary) {
    const testsupport::TemporaryFolder folder;
    EXPECT_THROW(Tokenizer(folder.path() / "missing.json"), std::filesystem::filesystem_error);
    EXPECT_THROW(Tokenizer(writeFile(folder, "{not json")), nlohmann::json::parse_error);
    for (const std::string text : {"[\"a\", \"b\"]", "{\"1\": 2}", "{\"1\": null}"}) {
        try {
            Tokenizer tokenizer(writeFile(folder, text));
            ADD_FAILURE() << text << " was accepted";
        } catch (const TokenizerError& error) {
            EXPECT_EQ(error.kind(), TokenizerError::Kind::invalidVocabulary);
            EXPECT_TRUE(std::string(error.what()).starts_with("Vocabulary is not a JSON object")) << error.what();
        }
    }
}

} // namespace
} // namespace quorl
