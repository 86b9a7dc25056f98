#include "QuorlAudio/tts/frontend/MandarinBertTokenizer.hpp"

#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Ids = std::vector<std::int32_t>;
using Strings = std::vector<std::string>;

MandarinBertTokenizer loaded(const std::string& bytes) {
    testsupport::TemporaryFolder folder;
    const auto file = folder.path() / "vocab.txt";
    std::ofstream(file, std::ios::binary) << bytes;
    return MandarinBertTokenizer::load(file);
}

TEST(MandarinBertTokenizerTests, NumbersLinesWhateverTheirEnds) {
    for (const std::string ending : {"\n", "\r\n"}) {
        const auto tokenizer =
            loaded("[PAD]" + ending + "[UNK]" + ending + "[CLS]" + ending + "[SEP]" + ending + "中" + ending);
        SCOPED_TRACE(ending.size());
        EXPECT_EQ(tokenizer.vocab().size(), 5U);
        EXPECT_EQ((Ids{tokenizer.padId(), tokenizer.unkId(), tokenizer.clsId(), tokenizer.sepId()}), (Ids{0, 1, 2, 3}));
        EXPECT_EQ(tokenizer.vocab().at("中"), 4);
    }
}

TEST(MandarinBertTokenizerTests, AnEmptyLineKeepsItsNumberAndALaterRepeatWins) {
    const auto vocab = MandarinBertTokenizer::parseVocab("[PAD]\n\n[UNK]\n[CLS]\n[SEP]\n[PAD]");
    EXPECT_EQ(vocab.at(""), 1);
    EXPECT_EQ(vocab.at("[UNK]"), 2);
    EXPECT_EQ(vocab.at("[SEP]"), 4);
    EXPECT_EQ(vocab.at("[PAD]"), 5);
}

TEST(MandarinBertTokenizerTests, NamesTheFirstMissingSpecialToken) {
    EXPECT_EQ(testsupport::errorText([] { loaded(""); }), "BERT vocab is missing required special token '[CLS]'");
    EXPECT_EQ(testsupport::errorText([] {
                  MandarinBertTokenizer({{"[CLS]", 0}, {"[PAD]", 1}, {"[UNK]", 2}});
              }),
              "BERT vocab is missing required special token '[SEP]'");
    try {
        MandarinBertTokenizer({{"[CLS]", 0}, {"[SEP]", 1}, {"[PAD]", 2}});
        FAIL() << "nothing thrown";
    } catch (const MandarinBertTokenizer::LoadError& error) {
        EXPECT_EQ(error.kind(), MandarinBertTokenizer::LoadError::Kind::missingSpecialToken);
        EXPECT_EQ(error.token(), "[UNK]");
    }
}

TEST(MandarinBertTokenizerTests, EncodesCharactersPaddedToTheLength) {
    const auto tokenizer = loaded("[PAD]\n[UNK]\n[CLS]\n[SEP]\n中\n国\n");
    const auto encoded = tokenizer.encode({"中", "x", "国"}, 8);
    EXPECT_EQ(encoded.inputIds, (Ids{2, 4, 1, 5, 3, 0, 0, 0}));
    EXPECT_EQ(encoded.attentionMask, (Ids{1, 1, 1, 1, 1, 0, 0, 0}));
    EXPECT_EQ(encoded.tokenTypeIds, Ids(8, 0));
    EXPECT_EQ(encoded.tokenPositionForChar, (std::vector<int>{1, 2, 3}));
}

TEST(MandarinBertTokenizerTests, KeysCompareUnderCanonicalEquivalence) {
    const MandarinBertTokenizer tokenizer(MandarinBertTokenizer::parseVocab("[PAD]\n[UNK]\n[CLS]\n[SEP]\ne\u0301\n"));
    EXPECT_EQ(tokenizer.encode({"\u00E9"}, 3).inputIds, (Ids{2, 4, 3}));
}

TEST(MandarinBertTokenizerTests, LongTextsKeepTheFirstCharactersThatFit) {
    const auto tokenizer = loaded("[PAD]\n[UNK]\n[CLS]\n[SEP]\n中\n");
    const auto encoded = tokenizer.encode(Strings(600, "中"), 512);
    EXPECT_EQ(encoded.tokenPositionForChar.size(), 510U);
    EXPECT_EQ(encoded.tokenPositionForChar.back(), 510);
    EXPECT_EQ(encoded.inputIds.size(), 512U);
    EXPECT_EQ(encoded.inputIds.back(), tokenizer.sepId());
    EXPECT_EQ(encoded.attentionMask, Ids(512, 1));
}

} // namespace
} // namespace quorl
