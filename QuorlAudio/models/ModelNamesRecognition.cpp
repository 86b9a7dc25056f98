#include "QuorlAudio/models/ModelNamesRecognition.hpp"

#include "QuorlAudio/models/ModelNamesSupport.hpp"

#include <array>

namespace quorl {
namespace {

constexpr std::array parakeetEncoderPrecisions{ParakeetEncoderPrecision::int8, ParakeetEncoderPrecision::int4};
constexpr std::array paraformerPrecisions{ParaformerPrecision::fp16, ParaformerPrecision::int8};
constexpr std::array unifiedEncoderPrecisions{UnifiedEncoderPrecision::int8, UnifiedEncoderPrecision::fp16};

} // namespace

std::string_view rawValue(ParakeetEncoderPrecision precision) {
    return precision == ParakeetEncoderPrecision::int4 ? "int4" : "int8";
}

std::string_view encoderFileName(ParakeetEncoderPrecision precision) {
    return precision == ParakeetEncoderPrecision::int4 ? ModelNames::ASR::encoderInt4File
                                                       : ModelNames::ASR::encoderFile;
}

std::string_view rawValue(ParaformerPrecision precision) {
    return precision == ParaformerPrecision::int8 ? "int8" : "fp16";
}

std::string_view rawValue(UnifiedEncoderPrecision precision) {
    return precision == UnifiedEncoderPrecision::fp16 ? "fp16" : "int8";
}

} // namespace quorl

namespace quorl::ModelNames {

using support::concatenated;
using support::nameSet;

namespace ASR {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({preprocessorFile, encoderFile, decoderFile, jointFile});
    return names;
}

const std::set<std::string>& requiredModelsFused() {
    static const auto names = nameSet({preprocessorFile, decoderFile, jointFile});
    return names;
}

std::set<std::string> requiredModelsV3(ParakeetEncoderPrecision precision) {
    return nameSet({preprocessorFile, encoderFileName(precision), decoderFile, jointV3File});
}

} // namespace ASR

namespace TDTJa {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({preprocessorFile, encoderFile, decoderFile, jointFile});
    return names;
}

} // namespace TDTJa

namespace CTC {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({melSpectrogramPath, audioEncoderPath});
    return names;
}

} // namespace CTC

namespace SenseVoice {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({preprocessorFile, encoderFile});
    return names;
}

std::set<std::string> requiredModels(const std::optional<std::string>& precision) {
    auto encoder = encoderFile;
    if (precision == "int8") {
        encoder = encoderInt8File;
    } else if (precision == "fp32") {
        encoder = encoderFp32File;
    }
    return nameSet({preprocessorFile, encoder});
}

} // namespace SenseVoice

namespace ParaformerZh {

const std::set<std::string>& requiredModels() {
    static const auto names =
        nameSet({preprocessorFile, encoderFile, encoderInt8File, cifAlphasFile, decoderFile, decoderInt8File});
    return names;
}

} // namespace ParaformerZh

namespace CohereTranscribe {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({encoderCompiledFile, decoderCacheExternalV2CompiledFile, vocab});
    return names;
}

const std::set<std::string>& requiredModelsLegacy() {
    static const auto names = nameSet({encoderCompiledFile, decoderCacheExternalCompiledFile, vocab});
    return names;
}

} // namespace CohereTranscribe

namespace VAD {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({sileroVadFile});
    return names;
}

} // namespace VAD

namespace ParakeetEOU {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({encoderFile, decoderFile, jointFile, vocab});
    return names;
}

} // namespace ParakeetEOU

namespace NemotronStreaming {

const std::set<std::string>& requiredModels() {
    static const auto names =
        nameSet({preprocessorFile, encoderInt8File, decoderFile, jointFile, decoderJointFile, tokenizer, metadata});
    return names;
}

} // namespace NemotronStreaming

namespace ParakeetUnified {

std::string_view offlineEncoderFile(UnifiedEncoderPrecision precision) {
    return precision == UnifiedEncoderPrecision::fp16 ? offlineEncoderFp16File : offlineEncoderInt8File;
}

std::string streamingEncoderFile(UnifiedEncoderPrecision precision, std::string_view contextSuffix) {
    const std::string_view ending = precision == UnifiedEncoderPrecision::fp16 ? ".mlmodelc" : "_int8.mlmodelc";
    return concatenated({"parakeet_unified_encoder_streaming_", contextSuffix, ending});
}

std::set<std::string> requiredModels(const std::optional<std::string>& variant) {
    auto names = nameSet({decoderFile, jointDecisionFile, vocab, metadata});
    if (variant && variant->starts_with("offline")) {
        const auto precision =
            variant->ends_with("fp16") ? UnifiedEncoderPrecision::fp16 : UnifiedEncoderPrecision::int8;
        names.emplace(offlineEncoderFile(precision));
    }
    return names;
}

} // namespace ParakeetUnified

} // namespace quorl::ModelNames

namespace platform::core {

template <>
std::optional<quorl::ParakeetEncoderPrecision>
fromRawValue<quorl::ParakeetEncoderPrecision>(std::string_view rawValue) {
    return quorl::ModelNames::support::caseWithRawValue(quorl::parakeetEncoderPrecisions, rawValue);
}

template <>
std::optional<quorl::ParaformerPrecision> fromRawValue<quorl::ParaformerPrecision>(std::string_view rawValue) {
    return quorl::ModelNames::support::caseWithRawValue(quorl::paraformerPrecisions, rawValue);
}

template <>
std::optional<quorl::UnifiedEncoderPrecision> fromRawValue<quorl::UnifiedEncoderPrecision>(std::string_view rawValue) {
    return quorl::ModelNames::support::caseWithRawValue(quorl::unifiedEncoderPrecisions, rawValue);
}

template <> std::span<const quorl::ParakeetEncoderPrecision> allCases<quorl::ParakeetEncoderPrecision>() {
    return quorl::parakeetEncoderPrecisions;
}

template <> std::span<const quorl::UnifiedEncoderPrecision> allCases<quorl::UnifiedEncoderPrecision>() {
    return quorl::unifiedEncoderPrecisions;
}

} // namespace platform::core
