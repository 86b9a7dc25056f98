#include "QuorlAudio/tts/frontend/G2PModel.hpp"

#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/ModelError.hpp"
#include "tests/QuorlAudio/tts/frontend/G2PTestModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::sys::LogType;
using testsupport::errorText;
using Ids = G2PTestModels::Ids;
using Tokens = std::vector<std::string>;

constexpr std::int32_t bos = 1, eos = 2, unk = 3;
constexpr std::int32_t idOf(char letter) { return 4 + (letter - 'a'); }

// The test vocabulary with one entry set, the entry named by a JSON pointer.
nlohmann::json vocabularyWith(const std::string& pointer, const nlohmann::json& value) {
    auto document = G2PTestModels::vocabulary();
    document[nlohmann::json::json_pointer(pointer)] = value;
    return document;
}

class G2PModelTests : public ::testing::Test {
protected:
    std::filesystem::path modelFile(const std::string& name) const { return models.cache.modelFolder() / name; }

    testsupport::RecordingLogSink log;
    G2PTestModels models;
    G2PModel model{models.cache.environment()};
};

TEST_F(G2PModelTests, FramesTheWordsCharactersAndSkipsDigraphKeys) {
    // "ch" is a key of two characters: c and h keep their own ids; "é" and "1" have none.
    EXPECT_EQ(model.phonemize("chxé1"), (Tokens{"k", "h"}));
    const auto call = models.encoder.calls().at(0);
    EXPECT_EQ(integersOf(call, "input_ids"), (Ids{bos, idOf('c'), idOf('h'), idOf('x'), unk, unk, eos}));
    EXPECT_EQ(call.inputs.at("input_ids").multiArrayValue()->shape(), (std::vector<std::size_t>{1, 7}));
    for (const auto& load : {models.encoder.loads().at(0), models.decoder.loads().at(0)}) {
        EXPECT_EQ(load.configuration.computeUnits, platform::ml::ComputeUnits::cpuOnly);
    }
    EXPECT_EQ(log.messages("G2PModel", LogType::info),
              (Tokens{"Loaded G2P vocab (26 graphemes, 25 phonemes)", "Loaded G2P CoreML models"}));
}

TEST_F(G2PModelTests, EveryStepSendsTheWholeSequenceWithPositionsAndACausalMask) {
    models.spelling = [](const Ids&) { return Ids{idOf('h'), idOf('a')}; };
    EXPECT_EQ(model.phonemize("ha"), (Tokens{"h", "\u025b"}));
    const auto calls = models.decoder.calls();
    ASSERT_EQ(calls.size(), 3U);
    const auto& last = calls[2];
    EXPECT_EQ(integersOf(last, "decoder_input_ids"), (Ids{bos, idOf('h'), idOf('a')}));
    EXPECT_EQ(integersOf(last, "position_ids"), (Ids{2, 3, 4}));
    EXPECT_EQ(testsupport::valuesOf(*last.inputs.at("causal_mask").multiArrayValue()),
              (std::vector<double>{0, -10000, -10000, 0, 0, -10000, 0, 0, 0}));
    EXPECT_EQ(integersOf(last, "encoder_hidden_states"), (Ids{bos, idOf('h'), idOf('a'), eos}));
    EXPECT_EQ(integersOf(calls[0], "decoder_input_ids"), (Ids{bos}));
}

TEST_F(G2PModelTests, PicksTheFirstHighestScoreAndNeverANaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    models.lastScores = [nan](const Ids&, const Ids& sequence) {
        std::vector<float> scores(G2PTestModels::width, 0.0f);
        if (sequence.size() == 1) {
            scores[0] = nan;
            scores[idOf('b')] = 5.0f;
            scores[idOf('c')] = 5.0f;
        } else {
            scores[eos] = 1.0f;
            scores[0] = nan;
        }
        return scores;
    };
    EXPECT_EQ(model.phonemize("abc"), (Tokens{"b"}));
}

TEST_F(G2PModelTests, DecodesUntilEosOrSixtyFourIds) {
    const struct {
        const char* name;
        Ids spelled;
        std::optional<Tokens> phonemes;
    } cases[] = {
        {.name = "eos at once", .spelled = {}, .phonemes = std::nullopt},
        // 0, the special ids and ids without a phoneme vanish from the output.
        {.name = "special and unknown ids",
         .spelled = {0, bos, unk, idOf('x'), 41, idOf('o')},
         .phonemes = Tokens{"O"}},
        {.name = "nothing but special ids", .spelled = {unk, 0}, .phonemes = std::nullopt},
        {.name = "never ends", .spelled = Ids(100, idOf('m')), .phonemes = Tokens(64, "m")},
    };
    for (const auto& c : cases) {
        models.spelling = [&c](const Ids&) { return c.spelled; };
        const auto before = models.decoder.calls().size();
        EXPECT_EQ(model.phonemize("word"), c.phonemes) << c.name;
        EXPECT_EQ(models.decoder.calls().size() - before, std::min<std::size_t>(c.spelled.size() + 1, 64)) << c.name;
    }
}

TEST_F(G2PModelTests, SpecialIdsComeFromTheVocabularyWhenTheyAreIntegers) {
    auto vocabulary = G2PTestModels::vocabulary();
    vocabulary["bos_token_id"] = 7;
    vocabulary["eos_token_id"] = idOf('z');
    vocabulary["unk_token_id"] = "5";
    models.writeVocabulary(vocabulary);
    models.spelling = [](const Ids&) { return Ids{idOf('n'), eos, idOf('z'), idOf('o')}; };
    // The old eos is an ordinary id now; z ends the word.
    EXPECT_EQ(model.phonemize("é"), (Tokens{"n"}));
    EXPECT_EQ(integersOf(models.encoder.calls().at(0), "input_ids"), (Ids{7, unk, idOf('z')}));
}

TEST_F(G2PModelTests, ReportsEachUnloadableFile) {
    const auto vocabulary = modelFile("g2p_vocab.json").string();
    const struct {
        const char* name;
        std::function<void()> damage;
        std::string error;
    } cases[] = {
        {.name = "no vocabulary",
         .damage = [&] { std::filesystem::remove(vocabulary); },
         .error = "Failed to load G2P g2p_vocab.json: g2p_vocab.json not found at " + vocabulary},
        {.name = "phoneme that is a number",
         .damage = [&] { models.writeVocabulary(vocabularyWith("/id_to_phoneme/4", 4)); },
         .error = "Failed to load G2P g2p_vocab.json: invalid JSON structure"},
        {.name = "fractional grapheme id",
         .damage = [&] { models.writeVocabulary(vocabularyWith("/grapheme_to_id/a", 4.5)); },
         .error = "Failed to load G2P g2p_vocab.json: invalid JSON structure"},
        {.name = "no phoneme map",
         .damage =
             [&] {
                 models.writeVocabulary({{"grapheme_to_id", nlohmann::json::object()}});
             },
         .error = "Failed to load G2P g2p_vocab.json: invalid JSON structure"},
        {.name = "not an object",
         .damage = [&] { models.writeVocabulary(nlohmann::json::array()); },
         .error = "Failed to load G2P g2p_vocab.json: invalid JSON structure"},
        {.name = "grapheme id beyond 32 bits",
         .damage = [&] { models.writeVocabulary(vocabularyWith("/grapheme_to_id/a", 4294967300LL)); },
         .error = "Failed to load G2P g2p_vocab.json: id of 'a' does not fit in 32 bits"},
        {.name = "phoneme id beyond 32 bits",
         .damage = [&] { models.writeVocabulary(vocabularyWith("/id_to_phoneme/-2147483649", "q")); },
         .error = "Failed to load G2P g2p_vocab.json: id of '-2147483649' does not fit in 32 bits"},
        {.name = "no encoder",
         .damage = [&] { std::filesystem::remove_all(modelFile("G2PEncoder.mlmodelc")); },
         .error = "Failed to load G2P CoreML model: G2PEncoder.mlmodelc not found at " +
                  modelFile("G2PEncoder.mlmodelc").string()},
        {.name = "no decoder",
         .damage = [&] { std::filesystem::remove_all(modelFile("G2PDecoder.mlmodelc")); },
         .error = "Failed to load G2P CoreML model: G2PDecoder.mlmodelc not found at " +
                  modelFile("G2PDecoder.mlmodelc").string()},
    };
    for (const auto& c : cases) {
        c.damage();
        G2PModel damaged{models.cache.environment()};
        EXPECT_EQ(errorText([&] { damaged.phonemize("word"); }), c.error) << c.name;
        EXPECT_EQ(errorText([&] { damaged.ensureModelsAvailable(); }), c.error) << c.name;
        models.writeFiles();
    }
}

TEST_F(G2PModelTests, OnABuildMachineAnUnloadableModelAnswersNothing) {
    std::filesystem::remove_all(models.cache.modelFolder());
    models.cache.variables["CI"] = "";
    EXPECT_EQ(model.phonemize("word"), std::nullopt);
    EXPECT_EQ(log.messages("G2PModel", LogType::error),
              (Tokens{"G2P unavailable in CI, returning nil for word: word"}));
    EXPECT_THROW(model.ensureModelsAvailable(), G2PModelError);
}

TEST_F(G2PModelTests, AFailedLoadIsRepeatedWholeAtTheNextCall) {
    const auto decoder = modelFile("G2PDecoder.mlmodelc");
    const auto kept = models.cache.modelFolder() / "kept";
    std::filesystem::rename(decoder, kept);
    EXPECT_THROW(model.phonemize("ab"), G2PModelError);
    std::filesystem::rename(kept, decoder);
    EXPECT_EQ(model.phonemize("ab"), (Tokens{"\u025b", "b"}));
    EXPECT_EQ(log.messages("G2PModel", LogType::info).size(), 3U);
}

TEST_F(G2PModelTests, FailedPredictionsAreReportedAsTheModelsOwn) {
    const auto failure = std::make_exception_ptr(std::runtime_error("kernel broke"));
    const struct {
        const char* name;
        std::function<void()> breakIt;
        std::string error;
    } cases[] = {
        {.name = "encoder throws",
         .breakIt = [&] { models.encoder.failPredictionsWith(failure); },
         .error = "G2P encoder prediction failed."},
        {.name = "no hidden states",
         .breakIt = [&] { models.omittedOutputs = {"encoder_hidden_states"}; },
         .error = "G2P encoder prediction failed."},
        {.name = "decoder throws",
         .breakIt = [&] { models.decoder.failPredictionsWith(failure); },
         .error = "G2P decoder prediction failed."},
        {.name = "no logits",
         .breakIt = [&] { models.omittedOutputs = {"logits"}; },
         .error = "G2P decoder prediction failed."},
        // The second step's scores lack the sequence's last position.
        {.name = "logits too short",
         .breakIt = [&] { models.answersOnePositionOnly = true; },
         .error = "G2P decoder prediction failed."},
    };
    for (const auto& c : cases) {
        c.breakIt();
        EXPECT_EQ(errorText([&] { model.phonemize("ab"); }), c.error) << c.name;
        models.encoder.failPredictionsWith(nullptr);
        models.decoder.failPredictionsWith(nullptr);
        models.omittedOutputs.clear();
        models.answersOnePositionOnly = false;
    }
}

} // namespace
} // namespace quorl
