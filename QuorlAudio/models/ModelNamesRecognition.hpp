#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// Encoder build of the v3 batch transducer.
enum class ParakeetEncoderPrecision {
    int8,
    int4,
};

// "int8" or "int4".
std::string_view rawValue(ParakeetEncoderPrecision precision);

// "Encoder.mlmodelc" for int8, "EncoderInt4.mlmodelc" for int4.
std::string_view encoderFileName(ParakeetEncoderPrecision precision);

// Encoder and decoder build of the Paraformer recogniser; int8 selects the "_int8" models.
enum class ParaformerPrecision {
    fp16,
    int8,
};

// "fp16" or "int8".
std::string_view rawValue(ParaformerPrecision precision);

// Encoder build of the unified streaming and offline engines.
enum class UnifiedEncoderPrecision {
    int8,
    fp16,
};

// "int8" or "fp16".
std::string_view rawValue(UnifiedEncoderPrecision precision);

} // namespace quorl

namespace quorl::ModelNames {

// The batch transducer, versions v2, v3 and tdtCtc110m.
namespace ASR {
inline constexpr std::string_view preprocessor = "Preprocessor";
inline constexpr std::string_view preprocessorFile = "Preprocessor.mlmodelc";
inline constexpr std::string_view encoder = "Encoder";
inline constexpr std::string_view encoderFile = "Encoder.mlmodelc";
inline constexpr std::string_view encoderInt4File = "EncoderInt4.mlmodelc";
inline constexpr std::string_view decoder = "Decoder";
inline constexpr std::string_view decoderFile = "Decoder.mlmodelc";
inline constexpr std::string_view joint = "JointDecision";
inline constexpr std::string_view jointFile = "JointDecision.mlmodelc";
inline constexpr std::string_view jointV3File = "JointDecisionv3.mlmodelc";
inline constexpr std::string_view ctcHead = "CtcHead";
inline constexpr std::string_view ctcHeadFile = "CtcHead.mlmodelc";
inline constexpr std::string_view vocabularyFile = "parakeet_vocab.json";

// Version v2. The vocabulary and the CTC head are fetched by the transducer loader, not through a set.
const std::set<std::string>& requiredModels();
// The TDT-CTC 110M model, whose preprocessor also holds the encoder.
const std::set<std::string>& requiredModelsFused();
// Version v3 with the precision's encoder.
std::set<std::string> requiredModelsV3(ParakeetEncoderPrecision precision);
} // namespace ASR

// The Japanese transducer.
namespace TDTJa {
inline constexpr std::string_view preprocessor = "Preprocessor";
inline constexpr std::string_view preprocessorFile = "Preprocessor.mlmodelc";
inline constexpr std::string_view encoder = "Encoder";
inline constexpr std::string_view encoderFile = "Encoder.mlmodelc";
inline constexpr std::string_view decoder = "Decoderv2";
inline constexpr std::string_view decoderFile = "Decoderv2.mlmodelc";
inline constexpr std::string_view joint = "Jointerv2";
inline constexpr std::string_view jointFile = "Jointerv2.mlmodelc";
inline constexpr std::string_view vocabularyFile = "vocab.json";

const std::set<std::string>& requiredModels();
} // namespace TDTJa

// The CTC models of context biasing.
namespace CTC {
inline constexpr std::string_view melSpectrogram = "MelSpectrogram";
inline constexpr std::string_view melSpectrogramPath = "MelSpectrogram.mlmodelc";
inline constexpr std::string_view audioEncoder = "AudioEncoder";
inline constexpr std::string_view audioEncoderPath = "AudioEncoder.mlmodelc";
inline constexpr std::string_view vocabularyPath = "vocab.json";

const std::set<std::string>& requiredModels();
} // namespace CTC

namespace SenseVoice {
inline constexpr std::string_view preprocessor = "SenseVoicePreprocessor";
inline constexpr std::string_view preprocessorFile = "SenseVoicePreprocessor.mlmodelc";
inline constexpr std::string_view encoder = "SenseVoiceSmall";
inline constexpr std::string_view encoderFile = "SenseVoiceSmall.mlmodelc";
inline constexpr std::string_view encoderInt8 = "SenseVoiceSmall_int8";
inline constexpr std::string_view encoderInt8File = "SenseVoiceSmall_int8.mlmodelc";
inline constexpr std::string_view encoderFp32 = "SenseVoiceSmall_fp32";
inline constexpr std::string_view encoderFp32File = "SenseVoiceSmall_fp32.mlmodelc";
inline constexpr std::string_view vocabularyFile = "vocab.json";

// The preprocessor and the default encoder.
const std::set<std::string>& requiredModels();
// The preprocessor and the encoder of the precision: exactly "int8" or "fp32" select those builds, anything
// else (none, "fp16") the default one.
std::set<std::string> requiredModels(const std::optional<std::string>& precision);
} // namespace SenseVoice

// The Mandarin Paraformer recogniser.
namespace ParaformerZh {
inline constexpr std::string_view preprocessor = "ParaformerPreprocessor";
inline constexpr std::string_view preprocessorFile = "ParaformerPreprocessor.mlmodelc";
inline constexpr std::string_view encoder = "ParaformerEncoder";
inline constexpr std::string_view encoderFile = "ParaformerEncoder.mlmodelc";
inline constexpr std::string_view encoderInt8 = "ParaformerEncoder_int8";
inline constexpr std::string_view encoderInt8File = "ParaformerEncoder_int8.mlmodelc";
inline constexpr std::string_view cifAlphas = "ParaformerCifAlphas";
inline constexpr std::string_view cifAlphasFile = "ParaformerCifAlphas.mlmodelc";
inline constexpr std::string_view decoder = "ParaformerDecoder";
inline constexpr std::string_view decoderFile = "ParaformerDecoder.mlmodelc";
inline constexpr std::string_view decoderInt8 = "ParaformerDecoder_int8";
inline constexpr std::string_view decoderInt8File = "ParaformerDecoder_int8.mlmodelc";
inline constexpr std::string_view vocabularyFile = "vocab.json";

// All six models, so that either precision can be chosen at load time.
const std::set<std::string>& requiredModels();
} // namespace ParaformerZh

namespace CohereTranscribe {
inline constexpr std::string_view encoder = "cohere_encoder";
inline constexpr std::string_view encoderCompiledFile = "cohere_encoder.mlmodelc";
inline constexpr std::string_view decoderCacheExternal = "cohere_decoder_cache_external";
inline constexpr std::string_view decoderCacheExternalCompiledFile = "cohere_decoder_cache_external.mlmodelc";
inline constexpr std::string_view decoderCacheExternalV2 = "cohere_decoder_cache_external_v2";
inline constexpr std::string_view decoderCacheExternalV2CompiledFile = "cohere_decoder_cache_external_v2.mlmodelc";
inline constexpr std::string_view vocab = "vocab.json";

const std::set<std::string>& requiredModels();
// The set with the earlier decoder, kept for caches that still hold it.
const std::set<std::string>& requiredModelsLegacy();
} // namespace CohereTranscribe

namespace VAD {
inline constexpr std::string_view sileroVad = "silero-vad-unified-256ms-v6.2.1";
inline constexpr std::string_view sileroVadFile = "silero-vad-unified-256ms-v6.2.1.mlmodelc";

const std::set<std::string>& requiredModels();
} // namespace VAD

// The end-of-utterance streaming engine.
namespace ParakeetEOU {
inline constexpr std::string_view encoder = "streaming_encoder";
inline constexpr std::string_view encoderFile = "streaming_encoder.mlmodelc";
inline constexpr std::string_view decoder = "decoder";
inline constexpr std::string_view decoderFile = "decoder.mlmodelc";
inline constexpr std::string_view joint = "joint_decision";
inline constexpr std::string_view jointFile = "joint_decision.mlmodelc";
inline constexpr std::string_view vocab = "vocab.json";

const std::set<std::string>& requiredModels();
} // namespace ParakeetEOU

// The English cache-aware streaming engine.
namespace NemotronStreaming {
inline constexpr std::string_view preprocessor = "preprocessor";
inline constexpr std::string_view preprocessorFile = "preprocessor.mlmodelc";
inline constexpr std::string_view encoder = "encoder";
inline constexpr std::string_view encoderFile = "encoder.mlmodelc";
inline constexpr std::string_view encoderInt8File = "encoder/encoder_int8.mlmodelc";
inline constexpr std::string_view decoder = "decoder";
inline constexpr std::string_view decoderFile = "decoder.mlmodelc";
inline constexpr std::string_view joint = "joint";
inline constexpr std::string_view jointFile = "joint.mlmodelc";
inline constexpr std::string_view decoderJointFile = "decoder_joint.mlmodelc";
inline constexpr std::string_view tokenizer = "tokenizer.json";
inline constexpr std::string_view metadata = "metadata.json";

// Seven names with the int8 encoder; the full-precision encoder is not fetched.
const std::set<std::string>& requiredModels();
} // namespace NemotronStreaming

// The multilingual streaming recogniser. Its required set comes from getRequiredModelNames.
namespace NemotronMultilingualStreaming {
inline constexpr std::string_view preprocessor = "preprocessor";
inline constexpr std::string_view preprocessorFile = "preprocessor.mlmodelc";
inline constexpr std::string_view preprocessorPackage = "preprocessor.mlpackage";
inline constexpr std::string_view encoder = "encoder";
inline constexpr std::string_view encoderFile = "encoder.mlmodelc";
inline constexpr std::string_view encoderPackage = "encoder.mlpackage";
inline constexpr std::string_view decoder = "decoder";
inline constexpr std::string_view decoderFile = "decoder.mlmodelc";
inline constexpr std::string_view decoderPackage = "decoder.mlpackage";
inline constexpr std::string_view joint = "joint";
inline constexpr std::string_view jointFile = "joint.mlmodelc";
inline constexpr std::string_view jointPackage = "joint.mlpackage";
inline constexpr std::string_view tokenizer = "tokenizer.json";
inline constexpr std::string_view metadata = "metadata.json";
} // namespace NemotronMultilingualStreaming

// The unified streaming and offline engines.
namespace ParakeetUnified {
inline constexpr std::string_view decoderFile = "parakeet_unified_decoder.mlmodelc";
inline constexpr std::string_view jointDecisionFile = "parakeet_unified_joint_decision_single_step.mlmodelc";
inline constexpr std::string_view vocab = "vocab.json";
inline constexpr std::string_view metadata = "metadata.json";
inline constexpr std::string_view streamingEncoderInt8File =
    "parakeet_unified_encoder_streaming_70_13_13_int8.mlmodelc";
inline constexpr std::string_view streamingEncoderFp16File = "parakeet_unified_encoder_streaming_70_13_13.mlmodelc";
inline constexpr std::string_view offlineEncoderInt8File = "parakeet_unified_encoder_int8.mlmodelc";
inline constexpr std::string_view offlineEncoderFp16File = "parakeet_unified_encoder.mlmodelc";

std::string_view offlineEncoderFile(UnifiedEncoderPrecision precision);
// The streaming encoder for a context of left, chunk and right encoder frames joined by "_", for example
// "70_13_13". The suffix is inserted as given.
std::string streamingEncoderFile(UnifiedEncoderPrecision precision, std::string_view contextSuffix);
// The decoder, joint, vocabulary and metadata; a variant beginning with "offline" adds the offline encoder,
// the fp16 build when the variant ends with "fp16". The streaming engine names its encoder itself.
std::set<std::string> requiredModels(const std::optional<std::string>& variant);
} // namespace ParakeetUnified

} // namespace quorl::ModelNames

namespace platform::core {

// Exact, case-sensitive matches of the raw values.
template <>
std::optional<quorl::ParakeetEncoderPrecision> fromRawValue<quorl::ParakeetEncoderPrecision>(std::string_view rawValue);
template <>
std::optional<quorl::ParaformerPrecision> fromRawValue<quorl::ParaformerPrecision>(std::string_view rawValue);
template <>
std::optional<quorl::UnifiedEncoderPrecision> fromRawValue<quorl::UnifiedEncoderPrecision>(std::string_view rawValue);

template <> std::span<const quorl::ParakeetEncoderPrecision> allCases<quorl::ParakeetEncoderPrecision>();
template <> std::span<const quorl::UnifiedEncoderPrecision> allCases<quorl::UnifiedEncoderPrecision>();

} // namespace platform::core
