#include "QuorlAudio/tts/frontend/EnglishTextNormalizer.hpp"
#include "QuorlAudio/tts/frontend/G2PModel.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneEnglishPhonemizer.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneVocab.hpp"
#include "QuorlAudio/tts/frontend/PhonemeChunker.hpp"

#include "tests/QuorlAudio/tts/frontend/G2PTestModels.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

// English text on its whole road to the ids of the Kokoro models: the normaliser, the phonemiser over a small
// lexicon with the scripted G2P model as its fallback, the chunker at the models' limit and the vocabulary.
TEST(KokoroAneEnglishIdsTests, TextBecomesTheIdsOfTheFirstModelStage) {
    testsupport::TemporaryFolder folder;
    std::ofstream(folder.path() / "vocab.json") << R"({";": 1, ":": 2, ",": 3, ".": 4, "!": 5, "?": 6, " ": 16,
        "d": 46, "f": 48, "i": 51, "m": 55, "n": 56, "p": 58, "s": 61, "t": 62, "w": 65, "æ": 72, "ə": 83,
        "ɛ": 86, "ɜ": 87, "ɪ": 102, "θ": 119, "ɹ": 123, "ˈ": 156})";
    const auto vocab = KokoroAneVocab::load(folder.path() / "vocab.json");
    const KokoroAneEnglishPhonemizer phonemizer{
        .wordToPhonemes = {{"nasa", {"n", "ˈæ", "s", "ə"}},
                           {"at", {"æ", "t"}},
                           {"three", {"θ", "ɹ", "ˈi"}},
                           {"thirty", {"θ", "ˈɜ", "ɹ", "t", "i"}},
                           {"it's", {"ɪ", "t", "s"}},
                           {"twenty", {"t", "w", "ˈɛ", "n", "t", "i"}},
                           {"first", {"f", "ˈɜ", "ɹ", "s", "t"}}},
        .caseSensitiveWordToPhonemes = {},
        .customLexicon = {},
        .allowedPunctuation = {";", ":", ",", ".", "!", "?"},
    };
    // The scripted model reads "said", "p" and "m" letter by letter.
    G2PTestModels models;
    G2PModel g2p{models.cache.environment()};

    const auto normalized = EnglishTextNormalizer::normalize("NASA said at 3:30 pm: it's 21st!");
    EXPECT_EQ(normalized, "NASA said at three thirty p m: it's twenty first!");
    const auto phonemes = phonemizer.phonemize(normalized, [&](const std::string& key) { return g2p.phonemize(key); });
    EXPECT_EQ(phonemes, "nˈæsə sɛɪd æt θɹˈi θˈɜɹti p m: ɪts twˈɛnti fˈɜɹst!");
    const auto chunks = PhonemeChunker::chunk(phonemes, KokoroAneConstants::maxPhonemeLength);
    ASSERT_EQ(chunks.size(), 1U);
    EXPECT_EQ(
        vocab.encode(chunks[0]),
        (std::vector<std::int32_t>{0,  56, 156, 72,  61, 83,  16, 61, 86, 102, 46, 16,  72, 62, 16,  119, 123, 156,
                                   51, 16, 119, 156, 87, 123, 62, 51, 16, 58,  16, 55,  2,  16, 102, 62,  61,  16,
                                   62, 65, 156, 86,  56, 62,  51, 16, 48, 156, 87, 123, 61, 62, 5,   0}));
}

} // namespace
} // namespace quorl
