#include "QuorlAudio/asr/biasing/BpeTokenizer.hpp"
#include "QuorlAudio/asr/biasing/CtcTokenizer.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ScopedEnvironment.hpp"
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

namespace fs = std::filesystem;
using Ids = std::vector<std::int64_t>;
using testsupport::errorText;

class TokenizerTest : public ::testing::Test {
protected:
    // vocab {▁: 5, a: 1, b: 2, ab: 3, ▁ab: 4, <unk>: 7}, merges "a b" then "▁ ab".
    static nlohmann::json description() {
        return {{"model",
                 {{"type", "BPE"},
                  {"vocab", {{"\u2581", 5}, {"a", 1}, {"b", 2}, {"ab", 3}, {"\u2581ab", 4}, {"<unk>", 7}}},
                  {"merges", {"a b", "\u2581 ab"}}}}};
    }

    fs::path write(const nlohmann::json& document, const std::string& name = "model") const {
        const fs::path directory = scratch.path() / name;
        fs::create_directories(directory);
        std::ofstream(directory / "tokenizer.json") << document.dump();
        return directory;
    }

    CtcTokenizer tokenizer(const nlohmann::json& document = description()) const {
        return CtcTokenizer::load(write(document));
    }

    testsupport::TemporaryFolder scratch;
};

TEST_F(TokenizerTest, EncodesByMergingTheLowestRankFirst) {
    const auto ctc = tokenizer();
    const struct {
        std::string text;
        Ids withBoundary;
        Ids withoutBoundary;
    } cases[] = {
        {"AB", {4}, {3}},
        {"a b", {5, 1, 5, 2}, {1, 5, 2}},
        {"", {5}, {}},
        {"x", {5, 7}, {7}},
        // NFKC: the full-width letters are the plain ones.
        {"\uFF21\uFF22", {4}, {3}},
        // Every occurrence of the chosen pair merges in one pass.
        {"abab", {4, 3}, {3, 3}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(ctc.encode(testCase.text), testCase.withBoundary) << testCase.text;
        EXPECT_EQ(ctc.encodeWithoutBoundary(testCase.text), testCase.withoutBoundary) << testCase.text;
    }
    EXPECT_EQ(ctc.encodeVariants("AB"), (std::vector<Ids>{{4}, {3}}));
    EXPECT_EQ(ctc.bpeTokenizer().encode("AB", {.addSpecialTokens = true, .prependWordBoundary = true}), Ids{4});
}

TEST_F(TokenizerTest, VariantsCollapseWhenBothEncodingsAgree) {
    auto document = description();
    document["model"]["merges"].push_back("\u2581 x");
    const auto ctc = tokenizer(document);
    // "▁x" is unknown like "x", so both spellings are the id of "<unk>".
    EXPECT_EQ(ctc.encodeVariants("x"), std::vector<Ids>{{7}});
    document["model"]["vocab"].erase("<unk>");
    // With no "<unk>" anywhere an unknown piece takes 0.
    EXPECT_EQ(tokenizer(document).encode("y"), (Ids{5, 0}));
}

TEST_F(TokenizerTest, AddedTokensComeFirstForUnmergedPieces) {
    auto document = description();
    document["added_tokens"] = {{{"content", "a"}, {"id", 9}}, {{"content", 3}, {"id", 1}}, {{"id", 4}}};
    const auto ctc = tokenizer(document);
    EXPECT_EQ(ctc.encodeWithoutBoundary("a"), Ids{9});
    EXPECT_EQ(ctc.encodeWithoutBoundary("ab"), Ids{3});
    EXPECT_EQ(ctc.bpeTokenizer().addedTokens().size(), 1u);
}

TEST_F(TokenizerTest, MergeEntriesSplitAtTheFirstSpaceAfterTheLeftPart) {
    auto document = description();
    document["model"]["merges"] = {"a b", "a  b", " a b", "a b c", "ab", "a ", "", "   "};
    const auto bpe = BpeTokenizer::load(write(document));
    EXPECT_EQ(bpe.merges(), (std::vector<BpeTokenizer::Merge>{{"a", "b"}, {"a", " b"}, {"a", "b"}, {"a", "b c"}}));
}

TEST_F(TokenizerTest, RefusedDescriptionsHaveTheirExactTexts) {
    const auto refused = [this](const nlohmann::json& document) {
        return errorText([&] { BpeTokenizer::load(write(document)); });
    };
    auto unigram = description();
    unigram["model"]["type"] = "Unigram";
    auto noMerges = description();
    noMerges["model"].erase("merges");
    auto pairMerges = description();
    pairMerges["model"]["merges"] = {{"a", "b"}};
    auto noType = description();
    noType["model"].erase("type");
    auto textIds = description();
    textIds["model"]["vocab"]["a"] = "1";

    EXPECT_EQ(refused(unigram), "Unsupported tokenizer type: Unigram. Only 'BPE' is supported.");
    EXPECT_EQ(refused(noMerges), "Missing required field: model.merges");
    EXPECT_EQ(refused(pairMerges), "Missing required field: model.merges");
    EXPECT_EQ(refused(nlohmann::json::array({1})), "Invalid JSON: Root is not a dictionary");
    EXPECT_EQ(refused({{"other", 1}}), "Missing required field: model");
    EXPECT_EQ(refused(noType), "Missing required field: model.type");
    EXPECT_EQ(refused(textIds), "Missing required field: model.vocab");
    EXPECT_EQ(errorText([this] { BpeTokenizer::load(scratch.path()); }),
              "tokenizer.json not found at " + (scratch.path() / "tokenizer.json").string());
}

TEST_F(TokenizerTest, CtcLoadingWrapsWhatTheDescriptionThrows) {
    EXPECT_EQ(errorText([this] { CtcTokenizer::load(scratch.path()); }),
              "tokenizer.json not found at " + scratch.path().string());
    const fs::path broken = write({{"other", 1}});
    try {
        CtcTokenizer::load(broken);
        FAIL() << "expected a refusal";
    } catch (const CtcTokenizer::Error& error) {
        EXPECT_EQ(error.kind(), CtcTokenizerError::Kind::initializationFailed);
        EXPECT_STREQ(error.what(), "Failed to initialize HuggingFace tokenizer: Missing required field: model");
        EXPECT_THROW(std::rethrow_exception(error.underlying()), BpeTokenizer::Error);
    }
    std::ofstream(broken / "tokenizer.json") << "{not json";
    EXPECT_THROW(BpeTokenizer::load(broken), nlohmann::json::parse_error);
}

TEST_F(TokenizerTest, TheDefaultFolderIsThe110MModelsFolder) {
    testsupport::ScopedEnvironment environment;
    environment.set("XDG_DATA_HOME", scratch.path().string());
    const fs::path expected = scratch.path() / "QuorlAudio" / "Models" / "parakeet-ctc-110m-coreml";
    EXPECT_EQ(CtcTokenizer::getCtcModelDirectory(), expected);
    EXPECT_FALSE(fs::exists(expected));
    fs::create_directories(expected);
    std::ofstream(expected / "tokenizer.json") << description().dump();
    EXPECT_EQ(CtcTokenizer::load().encode("AB"), Ids{4});
    EXPECT_STREQ(CtcTokenizerError::applicationSupportNotFound().what(), "Application Support directory not found");
    EXPECT_STREQ(CtcTokenizerError::missingFile("vocab.json", "/models").what(),
                 "Missing required file 'vocab.json' in /models");
}

} // namespace
} // namespace quorl
