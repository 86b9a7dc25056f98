#include "QuorlAudio/asr/biasing/ARPAError.hpp"
#include "QuorlAudio/asr/biasing/ARPALanguageModel.hpp"
#include "QuorlAudio/asr/biasing/ARPALineReader.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Entry = ARPALanguageModel::Entry;
using platform::sys::LogType;

constexpr float ln10 = ARPALanguageModel::log10ToNat;

class ARPALanguageModelTest : public testing::Test {
protected:
    ARPALanguageModel loadText(const std::string& text) {
        const auto path = folder.path() / "model.arpa";
        std::ofstream(path, std::ios::binary) << text;
        return ARPALanguageModel::load(path);
    }

    std::vector<std::string> warnings() const { return sink.messages("ARPALanguageModel", LogType::error); }

    testsupport::TemporaryFolder folder;
    testsupport::RecordingLogSink sink;
};

constexpr const char* smallModel = "\\data\\\n"
                                   "ngram 1=3\n"
                                   "ngram 2=2\n"
                                   "\n"
                                   "\\1-grams:\n"
                                   "-1.0\tthe\t-0.5\n"
                                   "-2.0\tcat\n"
                                   "-3.0\tdog\tnot-a-number\n"
                                   "\n"
                                   "\\2-grams:\n"
                                   "-0.2\tthe\tcat\t-0.1\n"
                                   "-0.4\tthe dog\n"
                                   "\n"
                                   "\\end\\\n";

TEST_F(ARPALanguageModelTest, ReadsUnigramsAndBigramsInNaturalLogs) {
    const auto model = loadText(smallModel);

    EXPECT_EQ(model.unigrams.size(), 3u);
    EXPECT_EQ(model.unigrams.at("the"), (Entry{-1.0F * ln10, -0.5F * ln10}));
    EXPECT_EQ(model.unigrams.at("cat"), (Entry{-2.0F * ln10, 0}));
    EXPECT_EQ(model.unigrams.at("dog"), (Entry{-3.0F * ln10, 0}));
    ASSERT_EQ(model.bigrams.size(), 1u);
    EXPECT_EQ(model.bigrams.at("the").at("cat"), (Entry{-0.2F * ln10, -0.1F * ln10}));
    // Words separated by a space, as standard files write them, are two words.
    EXPECT_EQ(model.bigrams.at("the").at("dog"), (Entry{-0.4F * ln10, 0}));
    EXPECT_TRUE(warnings().empty());
}

TEST_F(ARPALanguageModelTest, SpaceSeparatedNgramsReadLikeTabSeparatedOnes) {
    const auto spaced = loadText("\\2-grams:\n-1.2\tthe cat\t-0.3\n-0.5\ta  b\n");
    const auto tabbed = loadText("\\2-grams:\n-1.2\tthe\tcat\t-0.3\n-0.5\ta\tb\n");

    EXPECT_EQ(spaced.bigrams, tabbed.bigrams);
    EXPECT_EQ(spaced.bigrams.at("the").at("cat"), (Entry{-1.2F * ln10, -0.3F * ln10}));
    EXPECT_EQ(spaced.bigrams.at("a").at("b"), (Entry{-0.5F * ln10, 0}));
}

TEST_F(ARPALanguageModelTest, LinesAreReadAsTheFileFormatSays) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> unigrams;
        std::vector<std::string> warnings;
    };
    const std::vector<Case> cases{
        {"empty file", "", {}, {}},
        {"data block only", "\\data\\\nngram 1=2\n", {}, {}},
        {"CR LF endings", "\\data\\\r\n\\1-grams:\r\n-1\ta\r\n-2\tb\t-1\r\n\\end\\\r\n", {"a", "b"}, {}},
        {"no final line break", "\\1-grams:\n-1\ta\n-1\tb", {"a", "b"}, {}},
        {"nothing after the end", "\\1-grams:\n-1\ta\n\\end\\\n-1\tb\nnoise\n", {"a"}, {}},
        {"blank and padded lines", "\n  \\1-grams:  \n\t-1\ta\t\n\n", {"a"}, {}},
        {"malformed lines warn in any section",
         "free text\n\\1-grams:\n-1\ta\nx1\tb\t-1\n1.5x\tc\n",
         {"a"},
         {"Skipping malformed ARPA line: free text", "Skipping malformed ARPA line: x1\tb\t-1",
          "Skipping malformed ARPA line: 1.5x\tc"}},
        {"higher orders are read past", "\\3-grams:\n-1\ta\tb\tc\n\\1-grams:\n-1\ta\n", {"a"}, {}},
        {"short n-gram lines are ignored", "\\1-grams:\n-1\n\\2-grams:\n-1\ta\n", {}, {}},
        {"data before any section is ignored", "-1\ta\n", {}, {}},
    };
    for (const auto& test : cases) {
        testsupport::RecordingLogSink own;
        const auto model = loadText(test.text);
        std::vector<std::string> words;
        for (const auto& [word, entry] : model.unigrams) {
            words.push_back(word);
        }
        std::ranges::sort(words);
        EXPECT_EQ(words, test.unigrams) << test.name;
        EXPECT_TRUE(model.bigrams.empty()) << test.name;
        EXPECT_EQ(own.messages("ARPALanguageModel", LogType::error), test.warnings) << test.name;
    }
}

TEST_F(ARPALanguageModelTest, ALaterEntryReplacesAnEarlierOne) {
    const auto model = loadText("\\1-grams:\n-1\ta\n-2\ta\t-1\n\\2-grams:\n-1\ta\tb\n-3\ta\tb\n");

    EXPECT_EQ(model.unigrams.at("a"), (Entry{-2.0F * ln10, -1.0F * ln10}));
    EXPECT_EQ(model.bigrams.at("a").at("b"), (Entry{-3.0F * ln10, 0}));
}

TEST_F(ARPALanguageModelTest, ALineThatIsNotUtf8IsReadWithReplacementsAndLoadingGoesOn) {
    const auto model = loadText("\\1-grams:\n-1\tcaf\xe9\n-2\tlater\n");

    EXPECT_EQ(model.unigrams.size(), 2u);
    EXPECT_TRUE(model.unigrams.contains("caf\uFFFD"));
    EXPECT_TRUE(model.unigrams.contains("later"));
    EXPECT_EQ(warnings(), (std::vector<std::string>{"Reading ARPA line with invalid UTF-8 replaced: -1\tcaf\uFFFD"}));
}

TEST_F(ARPALanguageModelTest, LongFilesAreCutIntoLinesAcrossChunks) {
    std::string text = "\\1-grams:\n";
    const std::string longWord(ARPALineReader::chunkSize + 10, 'w');
    text += "-1\t" + longWord + "\n";
    for (int index = 0; index < 20000; ++index) {
        text += "-1\tword" + std::to_string(index) + "\n";
    }
    const auto model = loadText(text);

    EXPECT_EQ(model.unigrams.size(), 20001u);
    EXPECT_TRUE(model.unigrams.contains(longWord));
    EXPECT_TRUE(model.unigrams.contains("word19999"));
}

TEST_F(ARPALanguageModelTest, AFileThatCannotBeOpenedFails) {
    for (const auto& path : {folder.path() / "missing.arpa", folder.path()}) {
        EXPECT_EQ(testsupport::errorText([&] { ARPALanguageModel::load(path); }),
                  "Cannot open ARPA file: " + path.string());
    }
    try {
        ARPALanguageModel::load(folder.path() / "missing.arpa");
        FAIL();
    } catch (const ARPAError& error) {
        EXPECT_EQ(error.kind(), ARPAError::Kind::cannotOpen);
        EXPECT_EQ(error.path(), (folder.path() / "missing.arpa").string());
    }
}

TEST(ARPALanguageModelScoreTest, BacksOffToUnigramsAndGivesUnknownWordsAFixedScore) {
    ARPALanguageModel model;
    model.unigrams = {{"the", {-1.0F, -0.5F}}, {"cat", {-2.0F, -0.25F}}};
    model.bigrams = {{"the", {{"cat", {-0.75F, -4.0F}}}}};
    struct Case {
        const char* word;
        std::optional<std::string> prev;
        float score;
    };
    const std::vector<Case> cases{
        {"cat", std::nullopt, -2.0F},
        {"dog", std::nullopt, ARPALanguageModel::unkLogProb},
        // A held bigram adds no back-off weight.
        {"cat", "the", -0.75F},
        {"the", "cat", -0.25F + -1.0F},
        {"dog", "the", -0.5F + ARPALanguageModel::unkLogProb},
        {"cat", "nobody", -2.0F},
        {"dog", "nobody", ARPALanguageModel::unkLogProb},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(model.score(test.word, test.prev), test.score) << test.word << " after " << test.prev.value_or("-");
    }
    EXPECT_EQ(ARPALanguageModel().score("any", std::string("thing")), ARPALanguageModel::unkLogProb);
}

} // namespace
} // namespace quorl
