#include "QuorlAudio/models/ModelNames.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {
namespace {

namespace MN = ModelNames;
using Names = std::set<std::string>;

// One catalogue constant and the value the model files on the hub are published under.
struct Constant {
    const char* label;
    std::string actual;
    std::string_view expected;
};

#define CATALOGUE_ENTRY(constant, value)                                                                               \
    Constant { #constant, std::string(constant), value }

TEST(ModelNamesTests, RecognitionConstantsMatchThePublishedNames) {
    const Constant constants[] = {
        CATALOGUE_ENTRY(MN::ASR::preprocessor, "Preprocessor"),
        CATALOGUE_ENTRY(MN::ASR::preprocessorFile, "Preprocessor.mlmodelc"),
        CATALOGUE_ENTRY(MN::ASR::encoder, "Encoder"),
        CATALOGUE_ENTRY(MN::ASR::encoderFile, "Encoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::ASR::encoderInt4File, "EncoderInt4.mlmodelc"),
        CATALOGUE_ENTRY(MN::ASR::decoder, "Decoder"),
        CATALOGUE_ENTRY(MN::ASR::decoderFile, "Decoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::ASR::joint, "JointDecision"),
        CATALOGUE_ENTRY(MN::ASR::jointFile, "JointDecision.mlmodelc"),
        CATALOGUE_ENTRY(MN::ASR::jointV3File, "JointDecisionv3.mlmodelc"),
        CATALOGUE_ENTRY(MN::ASR::ctcHead, "CtcHead"),
        CATALOGUE_ENTRY(MN::ASR::ctcHeadFile, "CtcHead.mlmodelc"),
        CATALOGUE_ENTRY(MN::ASR::vocabularyFile, "parakeet_vocab.json"),
        CATALOGUE_ENTRY(MN::TDTJa::preprocessor, "Preprocessor"),
        CATALOGUE_ENTRY(MN::TDTJa::preprocessorFile, "Preprocessor.mlmodelc"),
        CATALOGUE_ENTRY(MN::TDTJa::encoder, "Encoder"),
        CATALOGUE_ENTRY(MN::TDTJa::encoderFile, "Encoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::TDTJa::decoder, "Decoderv2"),
        CATALOGUE_ENTRY(MN::TDTJa::decoderFile, "Decoderv2.mlmodelc"),
        CATALOGUE_ENTRY(MN::TDTJa::joint, "Jointerv2"),
        CATALOGUE_ENTRY(MN::TDTJa::jointFile, "Jointerv2.mlmodelc"),
        CATALOGUE_ENTRY(MN::TDTJa::vocabularyFile, "vocab.json"),
        CATALOGUE_ENTRY(MN::CTC::melSpectrogram, "MelSpectrogram"),
        CATALOGUE_ENTRY(MN::CTC::melSpectrogramPath, "MelSpectrogram.mlmodelc"),
        CATALOGUE_ENTRY(MN::CTC::audioEncoder, "AudioEncoder"),
        CATALOGUE_ENTRY(MN::CTC::audioEncoderPath, "AudioEncoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::CTC::vocabularyPath, "vocab.json"),
        CATALOGUE_ENTRY(MN::SenseVoice::preprocessor, "SenseVoicePreprocessor"),
        CATALOGUE_ENTRY(MN::SenseVoice::preprocessorFile, "SenseVoicePreprocessor.mlmodelc"),
        CATALOGUE_ENTRY(MN::SenseVoice::encoder, "SenseVoiceSmall"),
        CATALOGUE_ENTRY(MN::SenseVoice::encoderFile, "SenseVoiceSmall.mlmodelc"),
        CATALOGUE_ENTRY(MN::SenseVoice::encoderInt8, "SenseVoiceSmall_int8"),
        CATALOGUE_ENTRY(MN::SenseVoice::encoderInt8File, "SenseVoiceSmall_int8.mlmodelc"),
        CATALOGUE_ENTRY(MN::SenseVoice::encoderFp32, "SenseVoiceSmall_fp32"),
        CATALOGUE_ENTRY(MN::SenseVoice::encoderFp32File, "SenseVoiceSmall_fp32.mlmodelc"),
        CATALOGUE_ENTRY(MN::SenseVoice::vocabularyFile, "vocab.json"),
        CATALOGUE_ENTRY(MN::ParaformerZh::preprocessor, "ParaformerPreprocessor"),
        CATALOGUE_ENTRY(MN::ParaformerZh::preprocessorFile, "ParaformerPreprocessor.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParaformerZh::encoder, "ParaformerEncoder"),
        CATALOGUE_ENTRY(MN::ParaformerZh::encoderFile, "ParaformerEncoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParaformerZh::encoderInt8, "ParaformerEncoder_int8"),
        CATALOGUE_ENTRY(MN::ParaformerZh::encoderInt8File, "ParaformerEncoder_int8.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParaformerZh::cifAlphas, "ParaformerCifAlphas"),
        CATALOGUE_ENTRY(MN::ParaformerZh::cifAlphasFile, "ParaformerCifAlphas.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParaformerZh::decoder, "ParaformerDecoder"),
        CATALOGUE_ENTRY(MN::ParaformerZh::decoderFile, "ParaformerDecoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParaformerZh::decoderInt8, "ParaformerDecoder_int8"),
        CATALOGUE_ENTRY(MN::ParaformerZh::decoderInt8File, "ParaformerDecoder_int8.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParaformerZh::vocabularyFile, "vocab.json"),
        CATALOGUE_ENTRY(MN::CohereTranscribe::encoder, "cohere_encoder"),
        CATALOGUE_ENTRY(MN::CohereTranscribe::encoderCompiledFile, "cohere_encoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::CohereTranscribe::decoderCacheExternal, "cohere_decoder_cache_external"),
        CATALOGUE_ENTRY(MN::CohereTranscribe::decoderCacheExternalCompiledFile,
                        "cohere_decoder_cache_external.mlmodelc"),
        CATALOGUE_ENTRY(MN::CohereTranscribe::decoderCacheExternalV2, "cohere_decoder_cache_external_v2"),
        CATALOGUE_ENTRY(MN::CohereTranscribe::decoderCacheExternalV2CompiledFile,
                        "cohere_decoder_cache_external_v2.mlmodelc"),
        CATALOGUE_ENTRY(MN::CohereTranscribe::vocab, "vocab.json"),
        CATALOGUE_ENTRY(MN::VAD::sileroVad, "silero-vad-unified-256ms-v6.2.1"),
        CATALOGUE_ENTRY(MN::VAD::sileroVadFile, "silero-vad-unified-256ms-v6.2.1.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParakeetEOU::encoder, "streaming_encoder"),
        CATALOGUE_ENTRY(MN::ParakeetEOU::encoderFile, "streaming_encoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParakeetEOU::decoder, "decoder"),
        CATALOGUE_ENTRY(MN::ParakeetEOU::decoderFile, "decoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParakeetEOU::joint, "joint_decision"),
        CATALOGUE_ENTRY(MN::ParakeetEOU::jointFile, "joint_decision.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParakeetEOU::vocab, "vocab.json"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::preprocessor, "preprocessor"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::preprocessorFile, "preprocessor.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::encoder, "encoder"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::encoderFile, "encoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::encoderInt8File, "encoder/encoder_int8.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::decoder, "decoder"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::decoderFile, "decoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::joint, "joint"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::jointFile, "joint.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::decoderJointFile, "decoder_joint.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::tokenizer, "tokenizer.json"),
        CATALOGUE_ENTRY(MN::NemotronStreaming::metadata, "metadata.json"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::preprocessor, "preprocessor"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::preprocessorFile, "preprocessor.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::preprocessorPackage, "preprocessor.mlpackage"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::encoder, "encoder"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::encoderFile, "encoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::encoderPackage, "encoder.mlpackage"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::decoder, "decoder"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::decoderFile, "decoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::decoderPackage, "decoder.mlpackage"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::joint, "joint"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::jointFile, "joint.mlmodelc"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::jointPackage, "joint.mlpackage"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::tokenizer, "tokenizer.json"),
        CATALOGUE_ENTRY(MN::NemotronMultilingualStreaming::metadata, "metadata.json"),
        CATALOGUE_ENTRY(MN::ParakeetUnified::decoderFile, "parakeet_unified_decoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParakeetUnified::jointDecisionFile, "parakeet_unified_joint_decision_single_step.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParakeetUnified::vocab, "vocab.json"),
        CATALOGUE_ENTRY(MN::ParakeetUnified::metadata, "metadata.json"),
        CATALOGUE_ENTRY(MN::ParakeetUnified::streamingEncoderInt8File,
                        "parakeet_unified_encoder_streaming_70_13_13_int8.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParakeetUnified::streamingEncoderFp16File,
                        "parakeet_unified_encoder_streaming_70_13_13.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParakeetUnified::offlineEncoderInt8File, "parakeet_unified_encoder_int8.mlmodelc"),
        CATALOGUE_ENTRY(MN::ParakeetUnified::offlineEncoderFp16File, "parakeet_unified_encoder.mlmodelc"),
    };
    for (const auto& constant : constants) {
        EXPECT_EQ(constant.actual, constant.expected) << constant.label;
    }
}

TEST(ModelNamesTests, DiarizationAndSynthesisConstantsMatchThePublishedNames) {
    const Constant constants[] = {
        CATALOGUE_ENTRY(MN::Diarizer::segmentation, "pyannote_segmentation"),
        CATALOGUE_ENTRY(MN::Diarizer::segmentationFile, "pyannote_segmentation.mlmodelc"),
        CATALOGUE_ENTRY(MN::Diarizer::embedding, "wespeaker_v2"),
        CATALOGUE_ENTRY(MN::Diarizer::embeddingFile, "wespeaker_v2.mlmodelc"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::segmentation, "Segmentation"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::segmentationFile, "Segmentation.mlmodelc"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::segmentationPath, "Segmentation.mlmodelc"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::fbank, "FBank"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::fbankFile, "FBank.mlmodelc"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::fbankPath, "FBank.mlmodelc"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::embedding, "Embedding"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::embeddingFile, "Embedding.mlmodelc"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::embeddingPath, "Embedding.mlmodelc"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::pldaRho, "PldaRho"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::pldaRhoFile, "PldaRho.mlmodelc"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::pldaRhoPath, "PldaRho.mlmodelc"),
        CATALOGUE_ENTRY(MN::OfflineDiarizer::pldaParameters, "plda-parameters.json"),
        CATALOGUE_ENTRY(MN::Sortformer::modelsSubdirectory, "v3/fp16"),
        CATALOGUE_ENTRY(MN::Sortformer::offlineModelName, "SortformerOffline_v2.1"),
        CATALOGUE_ENTRY(MN::PocketTTS::condStep, "cond_step"),
        CATALOGUE_ENTRY(MN::PocketTTS::condStepFile, "cond_step.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::condPrefill, "cond_prefill"),
        CATALOGUE_ENTRY(MN::PocketTTS::condPrefillFile, "cond_prefill.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::condPrefillAne, "cond_prefill_ane"),
        CATALOGUE_ENTRY(MN::PocketTTS::condPrefillAneFile, "cond_prefill_ane.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowlmStep, "flowlm_step"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowlmStepFile(), "flowlm_step.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowlmStepV2, "flowlm_stepv2"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowlmStepV2File, "flowlm_stepv2.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowlmStepAne, "flowlm_step_ane"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowlmStepAneFile, "flowlm_step_ane.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowDecoder, "flow_decoder"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowDecoderFile, "flow_decoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowDecoderFused, "flow_decoder_fused"),
        CATALOGUE_ENTRY(MN::PocketTTS::flowDecoderFusedFile, "flow_decoder_fused.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::pocketState, "pocket_state"),
        CATALOGUE_ENTRY(MN::PocketTTS::pocketStateFile, "pocket_state.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::mimiDecoder, "mimi_decoder"),
        CATALOGUE_ENTRY(MN::PocketTTS::mimiDecoderFile, "mimi_decoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::mimiEncoder, "mimi_encoderv2"),
        CATALOGUE_ENTRY(MN::PocketTTS::mimiEncoderFile, "mimi_encoderv2.mlmodelc"),
        CATALOGUE_ENTRY(MN::PocketTTS::constantsBinDir, "constants_bin"),
        CATALOGUE_ENTRY(MN::PocketTTS::StateFunction::writeState, "write_state"),
        CATALOGUE_ENTRY(MN::PocketTTS::StateFunction::prefill, "prefill"),
        CATALOGUE_ENTRY(MN::PocketTTS::StateFunction::generate, "generate"),
        CATALOGUE_ENTRY(MN::StyleTTS2::textEncoder, "text_encoder_fp16"),
        CATALOGUE_ENTRY(MN::StyleTTS2::textEncoderFile, "text_encoder_fp16.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::bert, "bert_fp16"),
        CATALOGUE_ENTRY(MN::StyleTTS2::bertFile, "bert_fp16.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::bertT64File, "bert_fp16_t64.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::bertT128File, "bert_fp16_t128.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::bertT256File, "bert_fp16_t256.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::refEncoder, "ref_encoder_fp16"),
        CATALOGUE_ENTRY(MN::StyleTTS2::refEncoderFile, "ref_encoder_fp16.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::fusedDiffusionSampler, "fused_diffusion_sampler_fp16"),
        CATALOGUE_ENTRY(MN::StyleTTS2::fusedDiffusionSamplerFile, "fused_diffusion_sampler_fp16.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::fusedDiffusionSamplerT64File, "fused_diffusion_sampler_fp16_t64.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::fusedDiffusionSamplerT128File, "fused_diffusion_sampler_fp16_t128.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::fusedDiffusionSamplerT256File, "fused_diffusion_sampler_fp16_t256.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::durationPredictor, "duration_predictor_fp16"),
        CATALOGUE_ENTRY(MN::StyleTTS2::durationPredictorFile, "duration_predictor_fp16.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::fusedF0nHarSource, "fused_f0n_har_source"),
        CATALOGUE_ENTRY(MN::StyleTTS2::fusedF0nHarSourceFile, "fused_f0n_har_source.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::decoderPre, "decoder_pre_fp16"),
        CATALOGUE_ENTRY(MN::StyleTTS2::decoderPreFile, "decoder_pre_fp16.mlmodelc"),
        CATALOGUE_ENTRY(MN::StyleTTS2::decoderUpsample, "decoder_upsample_fp16"),
        CATALOGUE_ENTRY(MN::StyleTTS2::decoderUpsampleFile, "decoder_upsample_fp16.mlmodelc"),
        CATALOGUE_ENTRY(MN::Supertonic3::textEncoder, "TextEncoder"),
        CATALOGUE_ENTRY(MN::Supertonic3::textEncoderFile, "TextEncoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::Supertonic3::durationPredictor, "DurationPredictor"),
        CATALOGUE_ENTRY(MN::Supertonic3::durationPredictorFile, "DurationPredictor.mlmodelc"),
        CATALOGUE_ENTRY(MN::Supertonic3::vectorEstimator, "VectorEstimator"),
        CATALOGUE_ENTRY(MN::Supertonic3::vectorEstimatorFile(), "VectorEstimator.mlmodelc"),
        CATALOGUE_ENTRY(MN::Supertonic3::vocoder, "Vocoder"),
        CATALOGUE_ENTRY(MN::Supertonic3::vocoderFile, "Vocoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::Supertonic3::configFile, "tts.json"),
        CATALOGUE_ENTRY(MN::Supertonic3::unicodeIndexerFile, "unicode_indexer.json"),
        CATALOGUE_ENTRY(MN::Supertonic3::variantsSubdir, "VectorEstimatorVariants"),
        CATALOGUE_ENTRY(MN::MultilingualG2P::encoder, "MultilingualG2PEncoder"),
        CATALOGUE_ENTRY(MN::MultilingualG2P::encoderFile, "MultilingualG2PEncoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::MultilingualG2P::decoder, "MultilingualG2PDecoder"),
        CATALOGUE_ENTRY(MN::MultilingualG2P::decoderFile, "MultilingualG2PDecoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::G2P::encoder, "G2PEncoder"),
        CATALOGUE_ENTRY(MN::G2P::encoderFile, "G2PEncoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::G2P::decoder, "G2PDecoder"),
        CATALOGUE_ENTRY(MN::G2P::decoderFile, "G2PDecoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::G2P::vocabulary, "g2p_vocab"),
        CATALOGUE_ENTRY(MN::G2P::vocabularyFile, "g2p_vocab.json"),
        CATALOGUE_ENTRY(MN::KokoroAne::albert, "KokoroAlbert.mlmodelc"),
        CATALOGUE_ENTRY(MN::KokoroAne::postAlbert, "KokoroPostAlbert.mlmodelc"),
        CATALOGUE_ENTRY(MN::KokoroAne::alignment, "KokoroAlignment.mlmodelc"),
        CATALOGUE_ENTRY(MN::KokoroAne::prosody, "KokoroProsody.mlmodelc"),
        CATALOGUE_ENTRY(MN::KokoroAne::noise, "KokoroNoise_v2.mlmodelc"),
        CATALOGUE_ENTRY(MN::KokoroAne::vocoder, "KokoroVocoder.mlmodelc"),
        CATALOGUE_ENTRY(MN::KokoroAne::tail, "KokoroTail.mlmodelc"),
        CATALOGUE_ENTRY(MN::KokoroAne::vocab, "vocab.json"),
        CATALOGUE_ENTRY(MN::KokoroAne::defaultVoiceFile, "af_heart.bin"),
        CATALOGUE_ENTRY(MN::KokoroAne::defaultVoiceFileZh, "voices/zf_001.bin"),
        CATALOGUE_ENTRY(MN::KokoroAne::defaultVoiceFileJa, "voices/jf_alpha.bin"),
        CATALOGUE_ENTRY(MN::KokoroAne::g2pwModelZh, "g2pw/g2pw.mlmodelc"),
    };
    for (const auto& constant : constants) {
        EXPECT_EQ(constant.actual, constant.expected) << constant.label;
    }
    EXPECT_EQ(MN::Sortformer::defaultVariant, SortformerVariant::fastV2_1);
    EXPECT_EQ(MN::LSEEND::defaultVariant, MN::LSEEND::Variant::dihard3);
    EXPECT_EQ(MN::LSEEND::defaultStep, MN::LSEEND::StepSize::step100ms);
    EXPECT_EQ(MN::Supertonic3::aneBuckets, (std::array<int, 3>{128, 256, 512}));
}

#undef CATALOGUE_ENTRY

// Sets written out by hand, shared by several rows of the lookup table.
const Names asrV3Int8 = {"Preprocessor.mlmodelc", "Encoder.mlmodelc", "Decoder.mlmodelc", "JointDecisionv3.mlmodelc"};
const Names asrV3Int4 = {"Preprocessor.mlmodelc", "EncoderInt4.mlmodelc", "Decoder.mlmodelc",
                         "JointDecisionv3.mlmodelc"};
const Names ctc = {"MelSpectrogram.mlmodelc", "AudioEncoder.mlmodelc"};
const Names eou = {"streaming_encoder.mlmodelc", "decoder.mlmodelc", "joint_decision.mlmodelc", "vocab.json"};
const Names nemotron = {"preprocessor.mlmodelc", "encoder/encoder_int8.mlmodelc", "decoder.mlmodelc",
                        "joint.mlmodelc",        "decoder_joint.mlmodelc",        "tokenizer.json",
                        "metadata.json"};
const Names unifiedBase = {"parakeet_unified_decoder.mlmodelc", "parakeet_unified_joint_decision_single_step.mlmodelc",
                           "vocab.json", "metadata.json"};
const Names streamingDiarizer = {"pyannote_segmentation.mlmodelc", "wespeaker_v2.mlmodelc"};
const Names sortformerBundles = {
    "v3/fp16/Sortformer_v2.mlmodelc",
    "v3/fp16/Sortformer_v2.1.mlmodelc",
    "v3/fp16/SortformerNvidiaLow_v2.mlmodelc",
    "v3/fp16/SortformerNvidiaLow_v2.1.mlmodelc",
    "v3/fp16/SortformerNvidiaHigh_v2.mlmodelc",
    "v3/fp16/SortformerNvidiaHigh_v2.1.mlmodelc",
    "v3/fp16/SortformerEfficient_v2.1.mlmodelc",
};
const Names kokoroStages = {"KokoroAlbert.mlmodelc",  "KokoroPostAlbert.mlmodelc", "KokoroAlignment.mlmodelc",
                            "KokoroProsody.mlmodelc", "KokoroNoise_v2.mlmodelc",   "KokoroVocoder.mlmodelc",
                            "KokoroTail.mlmodelc"};
const Names styleTts2Required = {"text_encoder_fp16.mlmodelc",       "bert_fp16.mlmodelc",
                                 "ref_encoder_fp16.mlmodelc",        "fused_diffusion_sampler_fp16.mlmodelc",
                                 "duration_predictor_fp16.mlmodelc", "fused_f0n_har_source.mlmodelc",
                                 "decoder_pre_fp16.mlmodelc",        "decoder_upsample_fp16.mlmodelc"};
const Names supertonicShared = {"TextEncoder.mlmodelc", "DurationPredictor.mlmodelc", "Vocoder.mlmodelc", "tts.json",
                                "unicode_indexer.json"};

Names with(Names names, const Names& more) {
    names.insert(more.begin(), more.end());
    return names;
}

// The LS-EEND bundles, from the variants' short names and the step folders.
Names lseendBundles() {
    Names names;
    for (const std::string variant : {"ami", "ch", "dih2", "dih3"}) {
        for (const std::string step : {"100ms", "200ms", "300ms", "400ms", "500ms"}) {
            names.insert(step + "/ls_eend_" + variant + "_" + step + ".mlmodelc");
        }
    }
    return names;
}

struct LookupRow {
    Repo repo;
    std::optional<std::string> variant;
    Names expected;
};

const std::vector<LookupRow>& lookupRows() {
    static const std::vector<LookupRow> rows = {
        {Repo::vad, std::nullopt, {"silero-vad-unified-256ms-v6.2.1.mlmodelc"}},
        {Repo::parakeetV3, std::nullopt, asrV3Int8},
        {Repo::parakeetV3, "int8", asrV3Int8},
        {Repo::parakeetV3, "fp16", asrV3Int8},
        {Repo::parakeetV3, "INT4", asrV3Int8},
        {Repo::parakeetV3, "int4", asrV3Int4},
        {Repo::parakeetV2,
         std::nullopt,
         {"Preprocessor.mlmodelc", "Encoder.mlmodelc", "Decoder.mlmodelc", "JointDecision.mlmodelc"}},
        {Repo::parakeetCtc110m, std::nullopt, ctc},
        {Repo::parakeetCtc06b, std::nullopt, ctc},
        {Repo::senseVoiceSmall, std::nullopt, {"SenseVoicePreprocessor.mlmodelc", "SenseVoiceSmall.mlmodelc"}},
        {Repo::senseVoiceSmall, "fp16", {"SenseVoicePreprocessor.mlmodelc", "SenseVoiceSmall.mlmodelc"}},
        {Repo::senseVoiceSmall, "INT8", {"SenseVoicePreprocessor.mlmodelc", "SenseVoiceSmall.mlmodelc"}},
        {Repo::senseVoiceSmall, "int8", {"SenseVoicePreprocessor.mlmodelc", "SenseVoiceSmall_int8.mlmodelc"}},
        {Repo::senseVoiceSmall, "fp32", {"SenseVoicePreprocessor.mlmodelc", "SenseVoiceSmall_fp32.mlmodelc"}},
        {Repo::paraformerLargeZh,
         std::nullopt,
         {"ParaformerPreprocessor.mlmodelc", "ParaformerEncoder.mlmodelc", "ParaformerEncoder_int8.mlmodelc",
          "ParaformerCifAlphas.mlmodelc", "ParaformerDecoder.mlmodelc", "ParaformerDecoder_int8.mlmodelc"}},
        {Repo::parakeetJa,
         std::nullopt,
         {"Preprocessor.mlmodelc", "Encoder.mlmodelc", "Decoderv2.mlmodelc", "Jointerv2.mlmodelc"}},
        {Repo::parakeetEou160, std::nullopt, eou},
        {Repo::parakeetEou320, std::nullopt, eou},
        {Repo::parakeetEou1280, std::nullopt, eou},
        {Repo::nemotronStreaming2240, std::nullopt, nemotron},
        {Repo::nemotronStreaming1120, std::nullopt, nemotron},
        {Repo::nemotronStreaming560, std::nullopt, nemotron},
        {Repo::parakeetUnified, std::nullopt, unifiedBase},
        {Repo::parakeetUnified, "streaming-fp16", unifiedBase},
        {Repo::parakeetUnified, "Offline", unifiedBase},
        {Repo::parakeetUnified, "offline", with(unifiedBase, {"parakeet_unified_encoder_int8.mlmodelc"})},
        {Repo::parakeetUnified, "offline-int8", with(unifiedBase, {"parakeet_unified_encoder_int8.mlmodelc"})},
        {Repo::parakeetUnified, "offline-fp16", with(unifiedBase, {"parakeet_unified_encoder.mlmodelc"})},
        {Repo::parakeetUnified, "offlinefp16", with(unifiedBase, {"parakeet_unified_encoder.mlmodelc"})},
        {Repo::nemotronMultilingual,
         std::nullopt,
         {"preprocessor.mlmodelc", "encoder.mlmodelc", "decoder.mlmodelc", "joint.mlmodelc", "decoder_joint.mlmodelc",
          "decoder_joint_noencproj.mlmodelc", "joint_noencproj_batched.mlmodelc"}},
        {Repo::diarizer, std::nullopt, streamingDiarizer},
        {Repo::diarizer, "Offline", streamingDiarizer},
        {Repo::diarizer,
         "offline",
         {"Segmentation.mlmodelc", "FBank.mlmodelc", "Embedding.mlmodelc", "PldaRho.mlmodelc", "plda-parameters.json"}},
        {Repo::kokoro, std::nullopt, {"G2PEncoder.mlmodelc", "G2PDecoder.mlmodelc", "g2p_vocab.json"}},
        {Repo::kokoroAne, std::nullopt, with(kokoroStages, {"vocab.json", "af_heart.bin"})},
        {Repo::kokoroAneZh, std::nullopt,
         with(kokoroStages, {"vocab.json", "voices/zf_001.bin", "g2pw/g2pw.mlmodelc"})},
        {Repo::kokoroAneJa, std::nullopt, with(kokoroStages, {"vocab.json", "voices/jf_alpha.bin"})},
        {Repo::sortformer, std::nullopt, sortformerBundles},
        {Repo::sortformer, "v3/fp16/Sortformer_v2.1.mlmodelc", {"v3/fp16/Sortformer_v2.1.mlmodelc"}},
        {Repo::sortformer, "v3/fp16/Sortformer_v2.1", {"v3/fp16/Sortformer_v2.1"}},
        {Repo::lseendAmi, std::nullopt, lseendBundles()},
        {Repo::lseendCallHome, std::nullopt, lseendBundles()},
        {Repo::lseendDihard2, std::nullopt, lseendBundles()},
        {Repo::lseendDihard3, std::nullopt, lseendBundles()},
        {Repo::lseendDihard3, "v3/fp16/Sortformer_v2.1", {"v3/fp16/Sortformer_v2.1.mlmodelc"}},
        {Repo::lseendAmi, "300ms/ls_eend_ami_300ms", {"300ms/ls_eend_ami_300ms.mlmodelc"}},
        {Repo::pocketTts,
         std::nullopt,
         {"cond_prefill.mlmodelc", "flowlm_step.mlmodelc", "flow_decoder_fused.mlmodelc", "mimi_decoder.mlmodelc",
          "constants_bin"}},
        {Repo::multilingualG2p, std::nullopt, {"MultilingualG2PEncoder.mlmodelc", "MultilingualG2PDecoder.mlmodelc"}},
        {Repo::parakeetTdtCtc110m,
         std::nullopt,
         {"Preprocessor.mlmodelc", "Decoder.mlmodelc", "JointDecision.mlmodelc"}},
        {Repo::cohereTranscribeCoreml,
         std::nullopt,
         {"cohere_encoder.mlmodelc", "cohere_decoder_cache_external_v2.mlmodelc", "vocab.json"}},
        {Repo::styletts2, std::nullopt, styleTts2Required},
        {Repo::styletts2, "t512", styleTts2Required},
        {Repo::styletts2, "ALL", styleTts2Required},
        {Repo::styletts2, "t64", {"bert_fp16_t64.mlmodelc", "fused_diffusion_sampler_fp16_t64.mlmodelc"}},
        {Repo::styletts2, "t128", {"bert_fp16_t128.mlmodelc", "fused_diffusion_sampler_fp16_t128.mlmodelc"}},
        {Repo::styletts2, "t256", {"bert_fp16_t256.mlmodelc", "fused_diffusion_sampler_fp16_t256.mlmodelc"}},
        {Repo::styletts2, "all",
         with(styleTts2Required, {"bert_fp16_t64.mlmodelc", "fused_diffusion_sampler_fp16_t64.mlmodelc",
                                  "bert_fp16_t128.mlmodelc", "fused_diffusion_sampler_fp16_t128.mlmodelc",
                                  "bert_fp16_t256.mlmodelc", "fused_diffusion_sampler_fp16_t256.mlmodelc"})},
        {Repo::supertonic3, std::nullopt, with(supertonicShared, {"VectorEstimator.mlmodelc"})},
        {Repo::supertonic3, "int8", with(supertonicShared, {"VectorEstimator.mlmodelc"})},
        {Repo::supertonic3, "ANE-int4", with(supertonicShared, {"VectorEstimator.mlmodelc"})},
        {Repo::supertonic3, "dyn-int8",
         with(supertonicShared, {"VectorEstimatorVariants/VectorEstimator_int8.mlmodelc"})},
        {Repo::supertonic3, "dyn-", with(supertonicShared, {"VectorEstimatorVariants/VectorEstimator_.mlmodelc"})},
        {Repo::supertonic3, "ane-int4",
         with(supertonicShared, {"VectorEstimatorVariants/VectorEstimator_L128_int4.mlmodelc",
                                 "VectorEstimatorVariants/VectorEstimator_L256_int4.mlmodelc",
                                 "VectorEstimatorVariants/VectorEstimator_L512_int4.mlmodelc"})},
    };
    return rows;
}

TEST(ModelNamesTests, RequiredNamesOfEveryRepositoryAndVariant) {
    for (const auto& row : lookupRows()) {
        SCOPED_TRACE(rawValue(row.repo) + " with variant " + row.variant.value_or("(none)"));
        EXPECT_EQ(MN::getRequiredModelNames(row.repo, row.variant), row.expected);
    }
}

TEST(ModelNamesTests, EveryRepositoryHasALookupRowWithoutVariant) {
    for (const auto repo : platform::core::allCases<Repo>()) {
        const auto& rows = lookupRows();
        const bool covered = std::any_of(rows.begin(), rows.end(),
                                         [repo](const LookupRow& row) { return row.repo == repo && !row.variant; });
        EXPECT_TRUE(covered) << rawValue(repo);
    }
}

TEST(ModelNamesTests, FamiliesWithoutChoicesIgnoreTheVariant) {
    const Repo repositories[] = {
        Repo::vad,
        Repo::parakeetV2,
        Repo::parakeetCtc110m,
        Repo::parakeetCtc06b,
        Repo::paraformerLargeZh,
        Repo::parakeetJa,
        Repo::parakeetEou160,
        Repo::parakeetEou320,
        Repo::parakeetEou1280,
        Repo::nemotronStreaming2240,
        Repo::nemotronStreaming1120,
        Repo::nemotronStreaming560,
        Repo::nemotronMultilingual,
        Repo::kokoro,
        Repo::kokoroAne,
        Repo::kokoroAneZh,
        Repo::kokoroAneJa,
        Repo::pocketTts,
        Repo::multilingualG2p,
        Repo::parakeetTdtCtc110m,
        Repo::cohereTranscribeCoreml,
    };
    for (const auto repo : repositories) {
        for (const std::string variant : {"int4", "int8", "fp16", "offline", "all", "legacy"}) {
            EXPECT_EQ(MN::getRequiredModelNames(repo, variant), MN::getRequiredModelNames(repo))
                << rawValue(repo) << " with " << variant;
        }
    }
}

TEST(ModelNamesTests, LookupResultIsTheCallersOwnSet) {
    auto names = MN::getRequiredModelNames(Repo::vad);
    names.insert("extra.json");
    EXPECT_EQ(MN::getRequiredModelNames(Repo::vad), Names{"silero-vad-unified-256ms-v6.2.1.mlmodelc"});
    EXPECT_EQ(&MN::VAD::requiredModels(), &MN::VAD::requiredModels());
}

// An empty set would make every model count as present, so a value outside the enumeration is refused.
TEST(ModelNamesTests, LookupRefusesAValueOutsideTheRepositories) {
    const auto outside = static_cast<Repo>(platform::core::allCases<Repo>().size());
    EXPECT_THROW(MN::getRequiredModelNames(outside), std::invalid_argument);
    EXPECT_THROW(MN::getRequiredModelNames(static_cast<Repo>(-1), "int4"), std::invalid_argument);
}

TEST(ModelNamesTests, SetsNotReachedThroughTheLookup) {
    struct SetRow {
        const char* label;
        Names actual;
        Names expected;
    };
    const SetRow rows[] = {
        {"SenseVoice constant",
         MN::SenseVoice::requiredModels(),
         {"SenseVoicePreprocessor.mlmodelc", "SenseVoiceSmall.mlmodelc"}},
        {"Cohere legacy",
         MN::CohereTranscribe::requiredModelsLegacy(),
         {"cohere_encoder.mlmodelc", "cohere_decoder_cache_external.mlmodelc", "vocab.json"}},
        {"Kokoro stages", MN::KokoroAne::requiredCoreMLModels(), kokoroStages},
        {"Supertonic-3 models",
         MN::Supertonic3::requiredModels(),
         {"TextEncoder.mlmodelc", "DurationPredictor.mlmodelc", "VectorEstimator.mlmodelc", "Vocoder.mlmodelc"}},
        {"Supertonic-3 shared models",
         MN::Supertonic3::sharedModelFiles(),
         {"TextEncoder.mlmodelc", "DurationPredictor.mlmodelc", "Vocoder.mlmodelc"}},
        {"Supertonic-3 companions", MN::Supertonic3::companionFiles(), {"tts.json", "unicode_indexer.json"}},
        {"Supertonic-3 files", MN::Supertonic3::requiredFiles(), with(supertonicShared, {"VectorEstimator.mlmodelc"})},
        {"StyleTTS2 bucket 512", MN::StyleTTS2::bucketModels(512), {}},
        {"StyleTTS2 bucket 0", MN::StyleTTS2::bucketModels(0), {}},
        {"Sortformer", MN::Sortformer::requiredModels(), sortformerBundles},
        {"LS-EEND", MN::LSEEND::requiredModels(), lseendBundles()},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.actual, row.expected) << row.label;
    }
}

TEST(ModelNamesTests, PocketTtsModelsFollowPlacementAndPrecision) {
    struct Row {
        PocketTtsPrecision precision;
        PocketTtsModelPlacement placement;
        Names expected;
    };
    const Names gpuShared = {"cond_prefill.mlmodelc", "flow_decoder_fused.mlmodelc", "mimi_decoder.mlmodelc",
                             "constants_bin"};
    const Names ane = {"cond_prefill_ane.mlmodelc", "flowlm_step_ane.mlmodelc", "flow_decoder_fused.mlmodelc",
                       "mimi_decoder.mlmodelc", "constants_bin"};
    const Names aneState = {"pocket_state.mlmodelc", "mimi_decoder.mlmodelc", "constants_bin"};
    const Row rows[] = {
        {PocketTtsPrecision::fp16, PocketTtsModelPlacement::gpu, with(gpuShared, {"flowlm_step.mlmodelc"})},
        {PocketTtsPrecision::int8, PocketTtsModelPlacement::gpu, with(gpuShared, {"flowlm_stepv2.mlmodelc"})},
        {PocketTtsPrecision::fp16, PocketTtsModelPlacement::ane, ane},
        {PocketTtsPrecision::int8, PocketTtsModelPlacement::ane, ane},
        {PocketTtsPrecision::fp16, PocketTtsModelPlacement::aneState, aneState},
        {PocketTtsPrecision::int8, PocketTtsModelPlacement::aneState, aneState},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(rawValue(row.placement));
        EXPECT_EQ(MN::PocketTTS::requiredModels(row.precision, row.placement), row.expected);
    }
    EXPECT_EQ(MN::PocketTTS::requiredModels(PocketTtsPrecision::int8), rows[1].expected);
    EXPECT_EQ(MN::PocketTTS::requiredModels(), rows[0].expected);
    EXPECT_EQ(MN::PocketTTS::flowlmStepFile(PocketTtsPrecision::int8), "flowlm_stepv2.mlmodelc");
}

TEST(ModelNamesTests, RecognitionNamesComposedFromPrecisions) {
    EXPECT_EQ(encoderFileName(ParakeetEncoderPrecision::int8), "Encoder.mlmodelc");
    EXPECT_EQ(encoderFileName(ParakeetEncoderPrecision::int4), "EncoderInt4.mlmodelc");
    EXPECT_EQ(MN::ASR::requiredModelsV3(ParakeetEncoderPrecision::int4), asrV3Int4);

    using MN::ParakeetUnified::offlineEncoderFile;
    using MN::ParakeetUnified::streamingEncoderFile;
    EXPECT_EQ(offlineEncoderFile(UnifiedEncoderPrecision::int8), "parakeet_unified_encoder_int8.mlmodelc");
    EXPECT_EQ(offlineEncoderFile(UnifiedEncoderPrecision::fp16), "parakeet_unified_encoder.mlmodelc");
    EXPECT_EQ(streamingEncoderFile(UnifiedEncoderPrecision::int8, "70_13_13"),
              MN::ParakeetUnified::streamingEncoderInt8File);
    EXPECT_EQ(streamingEncoderFile(UnifiedEncoderPrecision::fp16, "70_13_13"),
              MN::ParakeetUnified::streamingEncoderFp16File);
    EXPECT_EQ(streamingEncoderFile(UnifiedEncoderPrecision::int8, "35_7_7"),
              "parakeet_unified_encoder_streaming_35_7_7_int8.mlmodelc");
    EXPECT_EQ(streamingEncoderFile(UnifiedEncoderPrecision::fp16, ""), "parakeet_unified_encoder_streaming_.mlmodelc");
}

TEST(ModelNamesTests, SortformerBundlesForEveryVariantAndPrecision) {
    using Precision = MN::Sortformer::ModelPrecision;
    using Variant = MN::Sortformer::Variant;
    struct Row {
        Variant variant;
        std::string fp16;
        std::string palettized;
    };
    const Row rows[] = {
        {Variant::fastV2, "v3/fp16/Sortformer_v2.mlmodelc", "v3/palettized/Sortformer_v2.mlmodelc"},
        {Variant::fastV2_1, "v3/fp16/Sortformer_v2.1.mlmodelc", "v3/palettized/Sortformer_v2.1.mlmodelc"},
        {Variant::balancedV2, "v3/fp16/SortformerNvidiaLow_v2.mlmodelc",
         "v3/palettized/SortformerNvidiaLow_v2.mlmodelc"},
        {Variant::balancedV2_1, "v3/fp16/SortformerNvidiaLow_v2.1.mlmodelc",
         "v3/palettized/SortformerNvidiaLow_v2.1.mlmodelc"},
        {Variant::highContextV2, "v3/fp16/SortformerNvidiaHigh_v2.mlmodelc",
         "v3/palettized/SortformerNvidiaHigh_v2.mlmodelc"},
        {Variant::highContextV2_1, "v3/fp16/SortformerNvidiaHigh_v2.1.mlmodelc",
         "v3/palettized/SortformerNvidiaHigh_v2.1.mlmodelc"},
        {Variant::efficientV2_1, "v3/fp16/SortformerEfficient_v2.1.mlmodelc",
         "v3/palettized/SortformerEfficient_v2.1.mlmodelc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fp16);
        EXPECT_EQ(MN::Sortformer::fileName(row.variant), row.fp16);
        EXPECT_EQ(MN::Sortformer::fileName(row.variant, Precision::palettized), row.palettized);
        EXPECT_EQ(MN::Sortformer::bundle(row.variant), row.fp16);
        EXPECT_EQ(MN::Sortformer::bundle(row.variant, Precision::fp16), row.fp16);
        EXPECT_EQ(MN::Sortformer::bundle(row.variant, Precision::palettized), row.palettized);
    }
    EXPECT_EQ(MN::Sortformer::subdirectory(Precision::fp16), "v3/fp16");
    EXPECT_EQ(MN::Sortformer::subdirectory(Precision::palettized), "v3/palettized");
    EXPECT_EQ(MN::Sortformer::offlineBundle(Precision::fp16), "v3/fp16/SortformerOffline_v2.1.mlmodelc");
    EXPECT_EQ(MN::Sortformer::offlineBundle(Precision::palettized), "v3/palettized/SortformerOffline_v2.1.mlmodelc");
    EXPECT_EQ(MN::Sortformer::defaultBundle(), "v3/fp16/Sortformer_v2.1.mlmodelc");
}

TEST(ModelNamesTests, SortformerBundleOfAConfiguration) {
    auto configuration = SortformerConfig::highContextV2();
    configuration.precision = MN::Sortformer::ModelPrecision::palettized;
    EXPECT_EQ(MN::Sortformer::bundle(configuration), "v3/palettized/SortformerNvidiaHigh_v2.mlmodelc");
    EXPECT_EQ(MN::Sortformer::bundle(SortformerConfig::defaultConfig()), "v3/fp16/Sortformer_v2.1.mlmodelc");

    const SortformerConfig handMade(std::nullopt, MN::Sortformer::ModelPrecision::palettized);
    EXPECT_EQ(MN::Sortformer::bundle(handMade), std::nullopt);
}

TEST(ModelNamesTests, LseendVariantsAndSteps) {
    using MN::LSEEND::StepSize;
    using MN::LSEEND::Variant;
    struct VariantRow {
        Variant variant;
        std::string name;
        Repo repo;
    };
    const VariantRow variants[] = {
        {Variant::ami, "ls_eend_ami", Repo::lseendAmi},
        {Variant::callhome, "ls_eend_ch", Repo::lseendCallHome},
        {Variant::dihard2, "ls_eend_dih2", Repo::lseendDihard2},
        {Variant::dihard3, "ls_eend_dih3", Repo::lseendDihard3},
    };
    struct StepRow {
        StepSize step;
        int rawValue;
        std::string description;
    };
    const StepRow steps[] = {
        {StepSize::step100ms, 1, "100ms"}, {StepSize::step200ms, 2, "200ms"}, {StepSize::step300ms, 3, "300ms"},
        {StepSize::step400ms, 4, "400ms"}, {StepSize::step500ms, 5, "500ms"},
    };
    const auto variantCases = platform::core::allCases<Variant>();
    ASSERT_EQ(variantCases.size(), std::size(variants));
    for (std::size_t index = 0; index < variantCases.size(); ++index) {
        const auto& row = variants[index];
        EXPECT_EQ(variantCases[index], row.variant);
        EXPECT_EQ(MN::LSEEND::name(row.variant), row.name);
        EXPECT_EQ(MN::LSEEND::description(row.variant), row.name);
        EXPECT_EQ(MN::LSEEND::repo(row.variant), row.repo);
    }
    const auto stepCases = platform::core::allCases<StepSize>();
    ASSERT_EQ(stepCases.size(), std::size(steps));
    for (std::size_t index = 0; index < stepCases.size(); ++index) {
        const auto& row = steps[index];
        EXPECT_EQ(stepCases[index], row.step);
        EXPECT_EQ(MN::LSEEND::rawValue(row.step), row.rawValue);
        EXPECT_EQ(MN::LSEEND::description(row.step), row.description);
        EXPECT_EQ(MN::LSEEND::stepSizeFromRawValue(row.rawValue), row.step);
    }
    EXPECT_EQ(MN::LSEEND::stepSizeFromRawValue(0), std::nullopt);
    EXPECT_EQ(MN::LSEEND::stepSizeFromRawValue(6), std::nullopt);

    EXPECT_EQ(MN::LSEEND::name(Variant::callhome, StepSize::step300ms), "ls_eend_ch_300ms");
    EXPECT_EQ(MN::LSEEND::fileName(Variant::callhome, StepSize::step300ms), "300ms/ls_eend_ch_300ms.mlmodelc");
    EXPECT_EQ(MN::LSEEND::bundle(Variant::dihard2, StepSize::step500ms),
              std::vector<std::string>{"500ms/ls_eend_dih2_500ms.mlmodelc"});
    EXPECT_EQ(MN::LSEEND::defaultBundle(), std::vector<std::string>{"100ms/ls_eend_dih3_100ms.mlmodelc"});
}

TEST(ModelNamesTests, SupertonicVectorEstimatorNames) {
    struct Row {
        std::optional<std::string> suffix;
        std::optional<int> bucket;
        std::string name;
        std::string file;
    };
    const Row rows[] = {
        {std::nullopt, std::nullopt, "VectorEstimator", "VectorEstimator.mlmodelc"},
        {"int8", std::nullopt, "VectorEstimator_int8", "VectorEstimatorVariants/VectorEstimator_int8.mlmodelc"},
        {std::nullopt, 128, "VectorEstimator_L128", "VectorEstimatorVariants/VectorEstimator_L128.mlmodelc"},
        {"int4", 256, "VectorEstimator_L256_int4", "VectorEstimatorVariants/VectorEstimator_L256_int4.mlmodelc"},
        {"", std::nullopt, "VectorEstimator_", "VectorEstimatorVariants/VectorEstimator_.mlmodelc"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(MN::Supertonic3::vectorEstimatorName(row.suffix, row.bucket), row.name);
        EXPECT_EQ(MN::Supertonic3::vectorEstimatorFile(row.suffix, row.bucket), row.file);
    }
}

TEST(ModelNamesTests, PrecisionEnumerationsMatchRawValuesExactly) {
    using platform::core::allCases;
    using platform::core::fromRawValue;
    struct Row {
        std::string_view rawValue;
        std::string_view expected;
    };
    const Row rows[] = {
        {rawValue(ParakeetEncoderPrecision::int8), "int8"},
        {rawValue(ParakeetEncoderPrecision::int4), "int4"},
        {rawValue(ParaformerPrecision::fp16), "fp16"},
        {rawValue(ParaformerPrecision::int8), "int8"},
        {rawValue(UnifiedEncoderPrecision::int8), "int8"},
        {rawValue(UnifiedEncoderPrecision::fp16), "fp16"},
        {rawValue(PocketTtsModelPlacement::gpu), "gpu"},
        {rawValue(PocketTtsModelPlacement::ane), "ane"},
        {rawValue(PocketTtsModelPlacement::aneState), "ane-state"},
        {rawValue(Supertonic3Quantization::int8), "int8"},
        {rawValue(Supertonic3Quantization::int6), "int6"},
        {rawValue(Supertonic3Quantization::int4), "int4"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.rawValue, row.expected);
    }
    EXPECT_EQ(fromRawValue<ParakeetEncoderPrecision>("int4"), ParakeetEncoderPrecision::int4);
    EXPECT_EQ(fromRawValue<ParaformerPrecision>("int8"), ParaformerPrecision::int8);
    EXPECT_EQ(fromRawValue<UnifiedEncoderPrecision>("fp16"), UnifiedEncoderPrecision::fp16);
    EXPECT_EQ(fromRawValue<PocketTtsModelPlacement>("ane-state"), PocketTtsModelPlacement::aneState);
    EXPECT_EQ(fromRawValue<Supertonic3Quantization>("int6"), Supertonic3Quantization::int6);
    EXPECT_EQ(fromRawValue<ParakeetEncoderPrecision>("INT4"), std::nullopt);
    EXPECT_EQ(fromRawValue<ParaformerPrecision>("fp32"), std::nullopt);
    EXPECT_EQ(fromRawValue<UnifiedEncoderPrecision>("Fp16"), std::nullopt);
    EXPECT_EQ(fromRawValue<PocketTtsModelPlacement>("aneState"), std::nullopt);
    EXPECT_EQ(fromRawValue<Supertonic3Quantization>("int5"), std::nullopt);

    EXPECT_EQ(std::vector(allCases<ParakeetEncoderPrecision>().begin(), allCases<ParakeetEncoderPrecision>().end()),
              (std::vector{ParakeetEncoderPrecision::int8, ParakeetEncoderPrecision::int4}));
    EXPECT_EQ(std::vector(allCases<UnifiedEncoderPrecision>().begin(), allCases<UnifiedEncoderPrecision>().end()),
              (std::vector{UnifiedEncoderPrecision::int8, UnifiedEncoderPrecision::fp16}));
    EXPECT_EQ(
        std::vector(allCases<Supertonic3Quantization>().begin(), allCases<Supertonic3Quantization>().end()),
        (std::vector{Supertonic3Quantization::int8, Supertonic3Quantization::int6, Supertonic3Quantization::int4}));
}

} // namespace
} // namespace quorl
