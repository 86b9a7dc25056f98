#include "tests/QuorlAudio/tts/frontend/MultilingualG2PTestModels.hpp"

#include "platform/ml/DataType.hpp"
#include "tests/support/ModelBundleWriter.hpp"

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using testsupport::flexibleFeature;
using testsupport::ScriptedKernel;

constexpr std::int32_t eos = 1;

nlohmann::json encoderManifest() {
    return testsupport::modelManifest("multilingual-g2p-test-encoder",
                                      {flexibleFeature("input_ids", {1, 0}, DataType::int32),
                                       flexibleFeature("attention_mask", {1, 0}, DataType::int32)},
                                      {flexibleFeature("last_hidden_state", {1, 0, 1}, DataType::float32)});
}

nlohmann::json decoderManifest() {
    return testsupport::modelManifest(
        "multilingual-g2p-test-decoder",
        {flexibleFeature("decoder_input_ids", {1, 0}, DataType::int32),
         flexibleFeature("encoder_hidden_states", {1, 0, 1}, DataType::float32),
         flexibleFeature("encoder_attention_mask", {1, 0}, DataType::int32)},
        {flexibleFeature("logits", {1, 0, MultilingualG2PTestModels::width}, DataType::float32)});
}

} // namespace

MultilingualG2PTestModels::MultilingualG2PTestModels()
    : encoder("multilingual-g2p-test-encoder",
              [](const ScriptedKernel::Call& call) -> ScriptedKernel::Outputs {
                  return {{"last_hidden_state", FeatureValue(idsAsHiddenStates(integersOf(call, "input_ids")))}};
              }),
      decoder("multilingual-g2p-test-decoder", [this](const ScriptedKernel::Call& call) -> ScriptedKernel::Outputs {
          const auto spelled = spelling(integersOf(call, "encoder_hidden_states"));
          const auto sequence = integersOf(call, "decoder_input_ids");
          const auto step = sequence.size() - 1;
          const auto next = step < spelled.size() ? spelled[step] : eos;
          return {{"logits", FeatureValue(scoresEndingWith(sequence.size(), oneHot(width, next)))}};
      }) {
    testsupport::writeModelBundle(cache.modelFolder(), "MultilingualG2PEncoder.mlmodelc", encoderManifest());
    testsupport::writeModelBundle(cache.modelFolder(), "MultilingualG2PDecoder.mlmodelc", decoderManifest());
}

MultilingualG2PTestModels::Tokens MultilingualG2PTestModels::tokensOf(const std::string& text) {
    Tokens tokens;
    for (const unsigned char byte : text) {
        tokens.push_back(byte + 3);
    }
    return tokens;
}

} // namespace quorl
