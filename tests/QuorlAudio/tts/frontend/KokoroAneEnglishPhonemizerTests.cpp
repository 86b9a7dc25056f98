#include "QuorlAudio/tts/frontend/KokoroAneEnglishPhonemizer.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Phonemizer = KokoroAneEnglishPhonemizer;
using Tokens = std::vector<std::string>;

Phonemizer::Fallback fallbackNeverCalled() {
    return [](const std::string& key) -> std::optional<Phonemizer::PhonemeTokens> {
        ADD_FAILURE() << "fallback reached with " << key;
        return std::nullopt;
    };
}

Phonemizer smallPhonemizer(std::set<std::string, std::less<>> punctuation = {","}) {
    return Phonemizer{
        .wordToPhonemes = {{"hello", {"h", "ə", "l", "ˈO"}},
                           {"world", {"w", "ˈɜ", "ɹ", "l", "d"}},
                           {"nasa", {"n", "ˈæ", "s", "ə"}}},
        .caseSensitiveWordToPhonemes = {{"N", {"ˈɛ", "n"}}, {"A", {"ˈA"}}, {"S", {"ˈɛ", "s"}}, {"U", {"j", "ˈu"}}},
        .customLexicon = {},
        .allowedPunctuation = std::move(punctuation),
    };
}

TEST(KokoroAneEnglishPhonemizerTests, NormalizesKeys) {
    EXPECT_EQ(Phonemizer::normalizeKey("Don't-Stop"), "don'tstop");
    EXPECT_EQ(Phonemizer::normalizeKey("rock\u2019n\u2019roll"), "rocknroll");
    EXPECT_EQ(Phonemizer::normalizeKey("---"), "");
}

TEST(KokoroAneEnglishPhonemizerTests, SplitsWordsAndPunctuation) {
    const struct {
        std::string text;
        Tokens tokens;
    } cases[] = {
        {"Hello, world!", {"Hello", ",", "world", "!"}},
        {"'Twas night", {"'Twas", "night"}},
        {"the dogs' bone", {"the", "dogs", "'", "bone"}},
        {"e-mail", {"e-mail"}},
        {"don't", {"don't"}},
        {"rock 'n' roll", {"rock", "'", "n", "'", "roll"}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(Phonemizer::splitWords(testCase.text), testCase.tokens) << testCase.text;
    }
}

TEST(KokoroAneEnglishPhonemizerTests, AttachesOnlyAllowedPunctuation) {
    EXPECT_EQ(smallPhonemizer().phonemize("Hello, world", fallbackNeverCalled()), "həlˈO, wˈɜɹld");
    EXPECT_EQ(smallPhonemizer({}).phonemize("Hello, world", fallbackNeverCalled()), "həlˈO wˈɜɹld");
    EXPECT_EQ(smallPhonemizer().phonemize(", hello", fallbackNeverCalled()), ", həlˈO");
}

TEST(KokoroAneEnglishPhonemizerTests, ResolvesCustomLexiconThenLetterNamesThenLexicons) {
    auto phonemizer = smallPhonemizer();
    EXPECT_EQ(phonemizer.phonemize("NASA", fallbackNeverCalled()), "nˈæsə");
    EXPECT_EQ(phonemizer.phonemize("US", fallbackNeverCalled()), "jˈu ˈɛs");
    EXPECT_EQ(phonemizer.phonemize("SUN", fallbackNeverCalled()), "ˈɛs jˈu ˈɛn");
    phonemizer.customLexicon = {{"US", "ʌs"}, {"nasa", "nˈɑsə"}};
    EXPECT_EQ(phonemizer.phonemize("US NASA", fallbackNeverCalled()), "ʌs nˈɑsə");
}

TEST(KokoroAneEnglishPhonemizerTests, AsksTheFallbackLastAndSkipsItsNils) {
    testsupport::RecordingLogSink log;
    std::vector<std::string> asked;
    const auto fallback = [&](const std::string& key) -> std::optional<Phonemizer::PhonemeTokens> {
        asked.push_back(key);
        if (key == "quorl") {
            return Tokens{"k", "w", "ɔ", "ɹ", "l"};
        }
        return std::nullopt;
    };
    EXPECT_EQ(smallPhonemizer().phonemize("Quorl-- hello zzz ---", fallback), "kwɔɹl həlˈO");
    EXPECT_EQ(asked, (Tokens{"quorl", "zzz"}));
    EXPECT_EQ(log.messages("KokoroAneEnglishPhonemizer"), Tokens{"G2P returned nil for word 'zzz' \u2014 skipping"});
}

TEST(KokoroAneEnglishPhonemizerTests, AnEmptyLexiconEntryEndsTheLexiconLookup) {
    auto phonemizer = smallPhonemizer();
    phonemizer.caseSensitiveWordToPhonemes.emplace("Hello", Tokens{});
    const auto fallback = [](const std::string& key) -> std::optional<Phonemizer::PhonemeTokens> {
        return Tokens{"[" + key + "]"};
    };
    EXPECT_EQ(phonemizer.phonemize("Hello hello", fallback), "[hello] h\u0259l\u02c8O");
}

TEST(KokoroAneEnglishPhonemizerTests, AnUnspellableLetterNameOverrideFallsBackToTheLexiconWithAWarning) {
    testsupport::RecordingLogSink log;
    auto phonemizer = smallPhonemizer();
    phonemizer.wordToPhonemes.emplace("ai", Tokens{"ˈA", "ɪ"});
    EXPECT_EQ(phonemizer.phonemize("AI", fallbackNeverCalled()), "ˈAɪ");
    EXPECT_EQ(log.messages("KokoroAneEnglishPhonemizer"),
              Tokens{"Letter-name override 'AI' unspellable (missing per-letter lexicon entries); falling back to the "
                     "bundled pronunciation"});
}

TEST(KokoroAneEnglishPhonemizerTests, AFailingFallbackEndsTheCall) {
    testsupport::RecordingLogSink log;
    int calls = 0;
    const auto fallback = [&](const std::string&) -> std::optional<Phonemizer::PhonemeTokens> {
        ++calls;
        throw std::runtime_error("model gone");
    };
    EXPECT_EQ(testsupport::errorText([&] { smallPhonemizer().phonemize("hello abc def", fallback); }), "model gone");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(log.messages("KokoroAneEnglishPhonemizer"), Tokens{"G2P failed on word 'abc': model gone"});
}

TEST(KokoroAneEnglishPhonemizerTests, ReportsInputWithoutPhonemes) {
    EXPECT_EQ(testsupport::errorText([] { smallPhonemizer().phonemize(" \n\t", fallbackNeverCalled()); }),
              "KokoroAne input processing failed: (empty input)");
    EXPECT_EQ(testsupport::errorText([] { smallPhonemizer({}).phonemize(" ?! ", fallbackNeverCalled()); }),
              "KokoroAne input processing failed: produced no phonemes for input '?!'");
}

} // namespace
} // namespace quorl
