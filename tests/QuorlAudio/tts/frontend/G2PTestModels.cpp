#include "tests/QuorlAudio/tts/frontend/G2PTestModels.hpp"

#include "platform/ml/DataType.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <filesystem>
#include <fstream>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using testsupport::flexibleFeature;
using testsupport::ScriptedKernel;

constexpr std::int32_t eos = 2;

std::string phonemeOf(char letter) {
    switch (letter) {
    case 'a': return "\u025b";
    case 'e': return "i";
    case 'i': return "\u026a";
    case 'o': return "O";
    case 'u': return "\u028c";
    case 'c': return "k";
    default: return std::string(1, letter);
    }
}

nlohmann::json encoderManifest() {
    return testsupport::modelManifest("g2p-test-encoder", {flexibleFeature("input_ids", {1, 0}, DataType::int32)},
                                      {flexibleFeature("encoder_hidden_states", {1, 0, 1}, DataType::float32)});
}

nlohmann::json decoderManifest() {
    return testsupport::modelManifest("g2p-test-decoder",
                                      {flexibleFeature("decoder_input_ids", {1, 0}, DataType::int32),
                                       flexibleFeature("encoder_hidden_states", {1, 0, 1}, DataType::float32),
                                       flexibleFeature("position_ids", {1, 0}, DataType::int32),
                                       flexibleFeature("causal_mask", {1, 0, 0}, DataType::float32)},
                                      {flexibleFeature("logits", {1, 0, G2PTestModels::width}, DataType::float32)});
}

} // namespace

G2PTestModels::G2PTestModels()
    : spelling([](const Ids& inputIds) { return Ids(inputIds.begin() + 1, inputIds.end() - 1); }),
      lastScores([this](const Ids& inputIds, const Ids& sequence) {
          const auto spelled = spelling(inputIds);
          const auto step = sequence.size() - 1;
          return oneHot(width, step < spelled.size() ? spelled[step] : eos);
      }),
      encoder("g2p-test-encoder",
              [this](const ScriptedKernel::Call& call) -> ScriptedKernel::Outputs {
                  if (omittedOutputs.contains("encoder_hidden_states")) {
                      return {};
                  }
                  return {{"encoder_hidden_states", FeatureValue(idsAsHiddenStates(integersOf(call, "input_ids")))}};
              }),
      decoder("g2p-test-decoder", [this](const ScriptedKernel::Call& call) { return decoderAnswer(call); }) {
    writeFiles();
}

void G2PTestModels::writeFiles() const {
    writeVocabulary(vocabulary());
    testsupport::writeModelBundle(cache.modelFolder(), "G2PEncoder.mlmodelc", encoderManifest());
    testsupport::writeModelBundle(cache.modelFolder(), "G2PDecoder.mlmodelc", decoderManifest());
}

nlohmann::json G2PTestModels::vocabulary() {
    nlohmann::json graphemes{{"ch", 40}};
    nlohmann::json phonemes = nlohmann::json::object();
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const int id = 4 + (letter - 'a');
        graphemes[std::string(1, letter)] = id;
        if (letter != 'x') {
            phonemes[std::to_string(id)] = phonemeOf(letter);
        }
    }
    return {{"grapheme_to_id", graphemes}, {"id_to_phoneme", phonemes}};
}

void G2PTestModels::writeVocabulary(const nlohmann::json& document) const {
    std::filesystem::create_directories(cache.modelFolder());
    std::ofstream(cache.modelFolder() / "g2p_vocab.json") << document.dump();
}

ScriptedKernel::Outputs G2PTestModels::decoderAnswer(const ScriptedKernel::Call& call) const {
    if (omittedOutputs.contains("logits")) {
        return {};
    }
    const auto sequence = integersOf(call, "decoder_input_ids");
    const auto positions = answersOnePositionOnly ? 1 : sequence.size();
    return {{"logits", FeatureValue(scoresEndingWith(
                           positions, lastScores(integersOf(call, "encoder_hidden_states"), sequence)))}};
}

} // namespace quorl
