#pragma once

#include "platform/core/RawValue.hpp"

#include <array>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// Build of the PocketTTS step model.
enum class PocketTtsPrecision {
    fp16,
    int8,
};

// The case name used in log lines: "fp16", "int8".
std::string_view description(PocketTtsPrecision precision);

// Where the PocketTTS models run: the graphics processor, the Neural Engine, or the Neural Engine with a
// stateful model.
enum class PocketTtsModelPlacement {
    gpu,
    ane,
    aneState,
};

// "gpu", "ane", "ane-state".
std::string_view rawValue(PocketTtsModelPlacement placement);

// Quantisation of the Supertonic-3 vector-estimator variants.
enum class Supertonic3Quantization {
    int8,
    int6,
    int4,
};

// "int8", "int6", "int4".
std::string_view rawValue(Supertonic3Quantization quantization);

} // namespace quorl

namespace quorl::ModelNames {

// The PocketTTS synthesiser.
namespace PocketTTS {
inline constexpr std::string_view condStep = "cond_step";
inline constexpr std::string_view condStepFile = "cond_step.mlmodelc";
inline constexpr std::string_view condPrefill = "cond_prefill";
inline constexpr std::string_view condPrefillFile = "cond_prefill.mlmodelc";
inline constexpr std::string_view condPrefillAne = "cond_prefill_ane";
inline constexpr std::string_view condPrefillAneFile = "cond_prefill_ane.mlmodelc";
inline constexpr std::string_view flowlmStep = "flowlm_step";
inline constexpr std::string_view flowlmStepV2 = "flowlm_stepv2";
inline constexpr std::string_view flowlmStepV2File = "flowlm_stepv2.mlmodelc";
inline constexpr std::string_view flowlmStepAne = "flowlm_step_ane";
inline constexpr std::string_view flowlmStepAneFile = "flowlm_step_ane.mlmodelc";
inline constexpr std::string_view flowDecoder = "flow_decoder";
inline constexpr std::string_view flowDecoderFile = "flow_decoder.mlmodelc";
inline constexpr std::string_view flowDecoderFused = "flow_decoder_fused";
inline constexpr std::string_view flowDecoderFusedFile = "flow_decoder_fused.mlmodelc";
inline constexpr std::string_view pocketState = "pocket_state";
inline constexpr std::string_view pocketStateFile = "pocket_state.mlmodelc";
inline constexpr std::string_view mimiDecoder = "mimi_decoder";
inline constexpr std::string_view mimiDecoderFile = "mimi_decoder.mlmodelc";
inline constexpr std::string_view mimiEncoder = "mimi_encoderv2";
inline constexpr std::string_view mimiEncoderFile = "mimi_encoderv2.mlmodelc";
// A folder, listed in the sets like a file.
inline constexpr std::string_view constantsBinDir = "constants_bin";

// The function names of the stateful model.
namespace StateFunction {
inline constexpr std::string_view writeState = "write_state";
inline constexpr std::string_view prefill = "prefill";
inline constexpr std::string_view generate = "generate";
} // namespace StateFunction

// The step model of the precision; without an argument the fp16 one, "flowlm_step.mlmodelc".
constexpr std::string_view flowlmStepFile(PocketTtsPrecision precision = PocketTtsPrecision::fp16) {
    return precision == PocketTtsPrecision::int8 ? flowlmStepV2File : "flowlm_step.mlmodelc";
}

// The fp16 models on the graphics processor.
const std::set<std::string>& requiredModels();
// The models of the placement; only the graphics-processor placement depends on the precision. The Mimi
// encoder, fetched separately for voice cloning, is in no set.
std::set<std::string> requiredModels(PocketTtsPrecision precision,
                                     PocketTtsModelPlacement placement = PocketTtsModelPlacement::gpu);
} // namespace PocketTTS

// The StyleTTS2 synthesiser.
namespace StyleTTS2 {
inline constexpr std::string_view textEncoder = "text_encoder_fp16";
inline constexpr std::string_view textEncoderFile = "text_encoder_fp16.mlmodelc";
inline constexpr std::string_view bert = "bert_fp16";
inline constexpr std::string_view bertFile = "bert_fp16.mlmodelc";
inline constexpr std::string_view bertT64File = "bert_fp16_t64.mlmodelc";
inline constexpr std::string_view bertT128File = "bert_fp16_t128.mlmodelc";
inline constexpr std::string_view bertT256File = "bert_fp16_t256.mlmodelc";
inline constexpr std::string_view refEncoder = "ref_encoder_fp16";
inline constexpr std::string_view refEncoderFile = "ref_encoder_fp16.mlmodelc";
inline constexpr std::string_view fusedDiffusionSampler = "fused_diffusion_sampler_fp16";
inline constexpr std::string_view fusedDiffusionSamplerFile = "fused_diffusion_sampler_fp16.mlmodelc";
inline constexpr std::string_view fusedDiffusionSamplerT64File = "fused_diffusion_sampler_fp16_t64.mlmodelc";
inline constexpr std::string_view fusedDiffusionSamplerT128File = "fused_diffusion_sampler_fp16_t128.mlmodelc";
inline constexpr std::string_view fusedDiffusionSamplerT256File = "fused_diffusion_sampler_fp16_t256.mlmodelc";
inline constexpr std::string_view durationPredictor = "duration_predictor_fp16";
inline constexpr std::string_view durationPredictorFile = "duration_predictor_fp16.mlmodelc";
inline constexpr std::string_view fusedF0nHarSource = "fused_f0n_har_source";
inline constexpr std::string_view fusedF0nHarSourceFile = "fused_f0n_har_source.mlmodelc";
inline constexpr std::string_view decoderPre = "decoder_pre_fp16";
inline constexpr std::string_view decoderPreFile = "decoder_pre_fp16.mlmodelc";
inline constexpr std::string_view decoderUpsample = "decoder_upsample_fp16";
inline constexpr std::string_view decoderUpsampleFile = "decoder_upsample_fp16.mlmodelc";

// The eight models without a length bucket.
const std::set<std::string>& requiredModels();
// The eight and the six bucket models.
const std::set<std::string>& allModels();
// The BERT and diffusion-sampler models of the bucket 64, 128 or 256; empty for any other length.
std::set<std::string> bucketModels(int forT);
} // namespace StyleTTS2

// The Supertonic-3 synthesiser.
namespace Supertonic3 {
inline constexpr std::string_view textEncoder = "TextEncoder";
inline constexpr std::string_view textEncoderFile = "TextEncoder.mlmodelc";
inline constexpr std::string_view durationPredictor = "DurationPredictor";
inline constexpr std::string_view durationPredictorFile = "DurationPredictor.mlmodelc";
inline constexpr std::string_view vectorEstimator = "VectorEstimator";
inline constexpr std::string_view vocoder = "Vocoder";
inline constexpr std::string_view vocoderFile = "Vocoder.mlmodelc";
inline constexpr std::string_view configFile = "tts.json";
inline constexpr std::string_view unicodeIndexerFile = "unicode_indexer.json";
inline constexpr std::string_view variantsSubdir = "VectorEstimatorVariants";
// Latent-length buckets of the Neural Engine vector estimators.
inline constexpr std::array<int, 3> aneBuckets{128, 256, 512};

// "VectorEstimator", then "_L" and the bucket when given, then "_" and the suffix when given.
std::string vectorEstimatorName(const std::optional<std::string>& precisionSuffix = std::nullopt,
                                std::optional<int> bucket = std::nullopt);
// The estimator's bundle; any variant lies in the variants folder, so only the plain estimator,
// "VectorEstimator.mlmodelc", is at the top level.
std::string vectorEstimatorFile(const std::optional<std::string>& precisionSuffix = std::nullopt,
                                std::optional<int> bucket = std::nullopt);

const std::set<std::string>& requiredModels();
// The models every vector-estimator choice shares.
const std::set<std::string>& sharedModelFiles();
const std::set<std::string>& companionFiles();
// The plain estimator's models and the companion files.
const std::set<std::string>& requiredFiles();
// The shared models, the companion files and the estimators of the choice: "dyn-" and a suffix for one
// variant estimator, "ane-" and a suffix for one per Neural Engine bucket, anything else for the plain one.
std::set<std::string> requiredFiles(const std::optional<std::string>& veVariant);
} // namespace Supertonic3

// The multilingual grapheme-to-phoneme models.
namespace MultilingualG2P {
inline constexpr std::string_view encoder = "MultilingualG2PEncoder";
inline constexpr std::string_view encoderFile = "MultilingualG2PEncoder.mlmodelc";
inline constexpr std::string_view decoder = "MultilingualG2PDecoder";
inline constexpr std::string_view decoderFile = "MultilingualG2PDecoder.mlmodelc";

const std::set<std::string>& requiredModels();
} // namespace MultilingualG2P

// The English grapheme-to-phoneme models.
namespace G2P {
inline constexpr std::string_view encoder = "G2PEncoder";
inline constexpr std::string_view encoderFile = "G2PEncoder.mlmodelc";
inline constexpr std::string_view decoder = "G2PDecoder";
inline constexpr std::string_view decoderFile = "G2PDecoder.mlmodelc";
inline constexpr std::string_view vocabulary = "g2p_vocab";
inline constexpr std::string_view vocabularyFile = "g2p_vocab.json";

const std::set<std::string>& requiredModels();
} // namespace G2P

// The Kokoro stage models for the Neural Engine. These are file names; there are no base names.
namespace KokoroAne {
inline constexpr std::string_view albert = "KokoroAlbert.mlmodelc";
inline constexpr std::string_view postAlbert = "KokoroPostAlbert.mlmodelc";
inline constexpr std::string_view alignment = "KokoroAlignment.mlmodelc";
inline constexpr std::string_view prosody = "KokoroProsody.mlmodelc";
inline constexpr std::string_view noise = "KokoroNoise_v2.mlmodelc";
inline constexpr std::string_view vocoder = "KokoroVocoder.mlmodelc";
inline constexpr std::string_view tail = "KokoroTail.mlmodelc";
inline constexpr std::string_view vocab = "vocab.json";
// The English voice lies at the folder's top level, the Mandarin and Japanese ones under "voices".
inline constexpr std::string_view defaultVoiceFile = "af_heart.bin";
inline constexpr std::string_view defaultVoiceFileZh = "voices/zf_001.bin";
inline constexpr std::string_view defaultVoiceFileJa = "voices/jf_alpha.bin";
inline constexpr std::string_view g2pwModelZh = "g2pw/g2pw.mlmodelc";

// The seven stage models.
const std::set<std::string>& requiredCoreMLModels();
// The stage models, the vocabulary and the language's default voice; Mandarin adds its G2PW model.
std::set<std::string> requiredModels();
std::set<std::string> requiredModelsZh();
std::set<std::string> requiredModelsJa();
} // namespace KokoroAne

} // namespace quorl::ModelNames

namespace platform::core {

// Exact, case-sensitive matches of the raw values.
template <>
std::optional<quorl::PocketTtsModelPlacement> fromRawValue<quorl::PocketTtsModelPlacement>(std::string_view rawValue);
template <>
std::optional<quorl::Supertonic3Quantization> fromRawValue<quorl::Supertonic3Quantization>(std::string_view rawValue);

template <> std::span<const quorl::Supertonic3Quantization> allCases<quorl::Supertonic3Quantization>();

} // namespace platform::core
