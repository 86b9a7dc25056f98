#include "QuorlAudio/tts/styletts2/StyleTTS2Phonemizer.hpp"

#include "QuorlAudio/tts/frontend/G2PModel.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "tests/QuorlAudio/tts/frontend/G2PTestModels.hpp"
#include "tests/QuorlAudio/tts/styletts2/StyleTTS2Fixtures.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fixtures = styletts2fixtures;
using platform::sys::LogType;
using Lexicon = StyleTTS2Phonemizer::Lexicon;
using Lines = std::vector<std::string>;

constexpr const char* category = "StyleTTS2Phonemizer";

// The G2P stand-in reads each lower-case letter as one phoneme ("o" as the shorthand O).
class StyleTTS2PhonemizerTest : public ::testing::Test {
protected:
    std::string phonemize(const std::string& text) const {
        return StyleTTS2Phonemizer(lower, caseSensitive, g2p).phonemize(text);
    }

    G2PTestModels models;
    mutable G2PModel g2p{models.cache.environment()};
    testsupport::RecordingLogSink sink;
    Lexicon lower{{"hello", {"h", "\u0259", "l", "O"}}, {"world", {"w", "\u025C", "\u0279", "l", "d"}}};
    Lexicon caseSensitive;
};

TEST_F(StyleTTS2PhonemizerTest, PunctuationStandsAsSeparateItems) {
    EXPECT_EQ(phonemize("  Hello, world.\n"), "h\u0259lo\u028A , w\u025C\u0279ld .");
    EXPECT_EQ(phonemize("..."), ". . .");
    EXPECT_TRUE(models.encoder.calls().empty());
    EXPECT_EQ(sink.messages(category, LogType::debug),
              (Lines{"Phonemized 4 tokens \u2014 lexicon hits: 2, G2P fallback: 0",
                     "Phonemized 3 tokens \u2014 lexicon hits: 0, G2P fallback: 0"}));
}

TEST_F(StyleTTS2PhonemizerTest, BlankTextIsEmptyWithoutAnyLine) {
    EXPECT_EQ(phonemize(" \n\t "), "");
    EXPECT_TRUE(sink.messages(category).empty());
}

TEST_F(StyleTTS2PhonemizerTest, LetterNameOverridesAreSpelledBeforeTheLexicon) {
    caseSensitive = {{"A", {"A"}}, {"I", {"I"}}, {"U", {"j", "u"}}, {"S", {"\u025B", "s"}}};
    lower["us"] = {"\u028C", "s"};
    EXPECT_EQ(phonemize("AI US us"), "e\u026A a\u026A ju \u025Bs \u028Cs");

    caseSensitive.erase("U");
    EXPECT_EQ(phonemize("US"), "\u028Cs");
    EXPECT_EQ(sink.messages(category, LogType::defaultType),
              Lines{"Letter-name override 'US' unspellable (missing per-letter lexicon entries); falling back to "
                    "the bundled pronunciation"});
}

TEST_F(StyleTTS2PhonemizerTest, InitialismsAreLookedUpBeforeTheyAreSpelled) {
    caseSensitive = {{"N", {"\u025B", "n"}}, {"A", {"A"}}, {"S", {"\u025B", "s"}}};
    lower["nasa"] = {"n", "\u00E6", "s", "\u0259"};
    EXPECT_EQ(phonemize("NASA"), "n\u00E6s\u0259");
    lower.erase("nasa");
    EXPECT_EQ(phonemize("NASA"), "\u025Bn e\u026A \u025Bs e\u026A");
    EXPECT_TRUE(models.encoder.calls().empty());
}

TEST_F(StyleTTS2PhonemizerTest, LexiconOrderAndEmptyEntries) {
    caseSensitive = {{"Lead", {"l", "\u025B", "d"}}, {"wind", {}}, {"don't", {"d", "O", "n", "t"}}};
    lower["wind"] = {"w", "a", "I", "n", "d"};
    lower["hey"] = {"h", "\u02C8", "A"};
    // Exact spelling first, then the key in the case-sensitive lexicon; an empty entry is a miss that keeps
    // the lower-case lexicon out, so the model reads the word.
    EXPECT_EQ(phonemize("Lead Don't! hey wind"), "l\u025Bd do\u028Ant ! h\u02C8e\u026A w\u026And");
    EXPECT_EQ(models.encoder.calls().size(), 1U);
}

TEST_F(StyleTTS2PhonemizerTest, TheModelReadsUnknownWordsAndItsShorthandIsExpanded) {
    EXPECT_EQ(phonemize("Hello solo"), "h\u0259lo\u028A so\u028Alo\u028A");
    EXPECT_EQ(sink.messages(category, LogType::debug),
              Lines{"Phonemized 2 tokens \u2014 lexicon hits: 1, G2P fallback: 1"});
}

TEST_F(StyleTTS2PhonemizerTest, UnreadWordsPassTheirLettersThroughUnexpanded) {
    models.spelling = [](const G2PTestModels::Ids&) { return G2PTestModels::Ids{}; };
    EXPECT_EQ(phonemize("OAK hello"), "OAK h\u0259lo\u028A");
    EXPECT_EQ(sink.messages(category, LogType::defaultType), Lines{"G2P returned nil for 'OAK'; passing graphemes"});
}

TEST_F(StyleTTS2PhonemizerTest, TextThatNothingResolvesFailsQuotingFortyCharacters) {
    models.omittedOutputs = {"logits"};
    const std::string text = " \u00E9tude quirk zzzz qqqq vvvv kkkk jjjj xxxx yyyy";
    EXPECT_EQ(fixtures::kindAndText([&] { phonemize(text); }, StyleTTS2Error::Kind::phonemizationFailed),
              "StyleTTS2 phonemization failed: no words resolved by lexicon or G2P (input=' \u00E9tude quirk zzzz "
              "qqqq vvvv kkkk jjjj xx')");
    const auto warnings = sink.messages(category, LogType::error);
    ASSERT_EQ(warnings.size(), 9U);
    EXPECT_TRUE(warnings.front().starts_with("G2P failed for '\u00E9tude': "));
    EXPECT_TRUE(warnings.front().ends_with("; passing graphemes"));
}

TEST_F(StyleTTS2PhonemizerTest, EncodeCleansThePhonemesAfterThePad) {
    EXPECT_EQ(StyleTTS2Phonemizer(lower, caseSensitive, g2p).encode("hello."),
              (std::vector<std::int32_t>{0, 50, 83, 54, 57, 135, 16, 4}));
    EXPECT_EQ(StyleTTS2Phonemizer(lower, caseSensitive, g2p).encode(""), std::vector<std::int32_t>{0});
}

} // namespace
} // namespace quorl
