#include "SlidingWindowTest.hpp"

#include "tests/QuorlAudio/asr/biasing/CharacterCtc.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include "QuorlAudio/asr/biasing/CtcTokenizerError.hpp"

#include <string>
#include <vector>

namespace quorl::testing {
namespace {

namespace ctc = characterCtc;

// Vocabulary boosting over CTC models of letters whose tokenizer lies in the default CTC folder of a scratch
// data home. The CTC head hears "tuna" under the first confirmed window's "two" and "trio" under the second
// one's "three", and nothing in later windows.
class BoostingTest : public SlidingWindowTest {
protected:
    BoostingTest() {
        environment.set("XDG_DATA_HOME", dataHome.path().string());
        ctc::writeTokenizer(dataHome.path() / "QuorlAudio" / "Models" / "parakeet-ctc-110m-coreml");
        models.scriptWindows({
            {{50, JointAnswer{.token = two, .probability = 0.9f}}},
            {{100, JointAnswer{.token = three, .probability = 0.9f}}},
            {{100, JointAnswer{.token = four, .probability = 0.9f}}},
            {{40, JointAnswer{.token = five, .probability = 0.95f}}},
        });
    }

    static CustomVocabularyContext vocabulary(std::size_t fillers = 0) {
        CustomVocabularyContext context;
        for (const char* text : {"Tuna", "Trio"}) {
            context.terms.emplace_back(CustomVocabularyTerm::Fields{.text = text, .ctcTokenIds = ctc::tokens(text)});
        }
        for (std::size_t index = 0; index < fillers; ++index) {
            context.terms.emplace_back(CustomVocabularyTerm::Fields{.text = "filler"});
        }
        return context;
    }

    // Streams 35 s (four windows, all confirmed) and returns the final text.
    std::string dictate(std::vector<SlidingWindowTranscriptionUpdate>& published) {
        auto updates = recogniser->transcriptionUpdates();
        recogniser->startStreaming(AudioSource::microphone);
        streamRange(*recogniser, 0, 35 * second, 1600);
        auto text = recogniser->finish();
        published = drained(updates);
        return text;
    }

    testsupport::TemporaryFolder dataHome;
    testsupport::TemporaryFolder ctcFolder;
    ctc::ScriptedCtcModels ctcModels{ctcFolder.path(), "sliding-window-boosting", [](std::size_t call) {
                                         switch (call) {
                                         case 0: return ctc::Utterance{.text = "tuna", .leadingBlanks = 47};
                                         case 1: return ctc::Utterance{.text = "trio", .leadingBlanks = 96};
                                         default: return ctc::Utterance{};
                                         }
                                     }};
};

TEST_F(BoostingTest, ConfirmedWindowsAreRescoredAndTheFinalTextKeepsTheReplacements) {
    loaded().configureVocabularyBoosting(vocabulary(), ctcModels.models(), std::nullopt);
    std::vector<SlidingWindowTranscriptionUpdate> published;
    EXPECT_EQ(dictate(published), "Tuna Trio four five");

    ASSERT_EQ(published.size(), 4u);
    EXPECT_EQ(published[0].text, "Tuna");
    EXPECT_EQ(published[1].text, "Trio");
    EXPECT_EQ(published[1].tokenIds, std::vector<int>{three}) << "the decoded tokens stay";
    EXPECT_EQ(published[2].text, "four");
    EXPECT_EQ(ctcModels.predictions(), 4u) << "every confirmed window with tokens is heard";
    EXPECT_TRUE(logged("Vocabulary boosting configured with 2 terms (isLargeVocab: false)"));
    EXPECT_TRUE(logged("Vocabulary rescoring applied 1 replacement(s) in streaming chunk"));
    EXPECT_TRUE(logged("  'three' \u2192 'Trio'"));
}

TEST_F(BoostingTest, AWindowBelowTheConfidenceThresholdIsNotRescored) {
    models.scriptWindows({
        {{50, JointAnswer{.token = two, .probability = 0.5f}}},
        {{100, JointAnswer{.token = three, .probability = 0.9f}}},
        {{100, JointAnswer{.token = four, .probability = 0.9f}}},
        {{40, JointAnswer{.token = five, .probability = 0.95f}}},
    });
    loaded().configureVocabularyBoosting(vocabulary(), ctcModels.models(), std::nullopt);
    std::vector<SlidingWindowTranscriptionUpdate> published;
    dictate(published);
    ASSERT_EQ(published.size(), 4u);
    EXPECT_FALSE(published[0].isConfirmed);
    EXPECT_EQ(published[0].text, "two");
    EXPECT_EQ(ctcModels.predictions(), 3u);
}

TEST_F(BoostingTest, ARunOfUnconfirmedWindowsKeepsAllTheirTextInTheFinalText) {
    models.scriptWindows({
        {{50, JointAnswer{.token = two, .probability = 0.5f}}},
        {{100, JointAnswer{.token = three, .probability = 0.5f}}},
        {{100, JointAnswer{.token = four, .probability = 0.9f}}},
        {{40, JointAnswer{.token = five, .probability = 0.95f}}},
    });
    loaded().configureVocabularyBoosting(vocabulary(), ctcModels.models(), std::nullopt);
    std::vector<SlidingWindowTranscriptionUpdate> published;
    // The first confirmed window, "four", is the one the CTC head hears as "tuna".
    EXPECT_EQ(dictate(published), "two three Tuna five");
}

TEST_F(BoostingTest, ALargeVocabularyIsReportedAsSuch) {
    loaded().configureVocabularyBoosting(vocabulary(9), ctcModels.models(), std::nullopt);
    EXPECT_TRUE(logged("Vocabulary boosting configured with 11 terms (isLargeVocab: true)"));
}

TEST_F(BoostingTest, WithoutATokenizerBoostingStaysOffAndTheTokensAreDecoded) {
    environment.set("XDG_DATA_HOME", (dataHome.path() / "elsewhere").string());
    EXPECT_THROW(loaded().configureVocabularyBoosting(vocabulary(), ctcModels.models(), std::nullopt),
                 CtcTokenizerError);
    std::vector<SlidingWindowTranscriptionUpdate> published;
    EXPECT_EQ(dictate(published), "two three four five");
    EXPECT_EQ(published[0].text, "two");
    EXPECT_EQ(ctcModels.predictions(), 0u);
}

} // namespace
} // namespace quorl::testing
