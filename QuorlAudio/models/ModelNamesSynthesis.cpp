#include "QuorlAudio/models/ModelNamesSynthesis.hpp"

#include "QuorlAudio/models/ModelNamesSupport.hpp"

namespace quorl {
namespace {

constexpr std::array pocketTtsPlacements{PocketTtsModelPlacement::gpu, PocketTtsModelPlacement::ane,
                                         PocketTtsModelPlacement::aneState};
constexpr std::array supertonic3Quantizations{Supertonic3Quantization::int8, Supertonic3Quantization::int6,
                                              Supertonic3Quantization::int4};

} // namespace

std::string_view description(PocketTtsPrecision precision) {
    return precision == PocketTtsPrecision::int8 ? "int8" : "fp16";
}

std::string_view rawValue(PocketTtsModelPlacement placement) {
    switch (placement) {
    case PocketTtsModelPlacement::gpu: return "gpu";
    case PocketTtsModelPlacement::ane: return "ane";
    case PocketTtsModelPlacement::aneState: return "ane-state";
    }
    return "";
}

std::string_view rawValue(Supertonic3Quantization quantization) {
    switch (quantization) {
    case Supertonic3Quantization::int8: return "int8";
    case Supertonic3Quantization::int6: return "int6";
    case Supertonic3Quantization::int4: return "int4";
    }
    return "";
}

} // namespace quorl

namespace quorl::ModelNames {

using support::adding;
using support::concatenated;
using support::nameSet;

namespace PocketTTS {

const std::set<std::string>& requiredModels() {
    static const auto names = requiredModels(PocketTtsPrecision::fp16);
    return names;
}

std::set<std::string> requiredModels(PocketTtsPrecision precision, PocketTtsModelPlacement placement) {
    switch (placement) {
    case PocketTtsModelPlacement::ane:
        return nameSet({condPrefillAneFile, flowlmStepAneFile, flowDecoderFusedFile, mimiDecoderFile, constantsBinDir});
    case PocketTtsModelPlacement::aneState: return nameSet({pocketStateFile, mimiDecoderFile, constantsBinDir});
    case PocketTtsModelPlacement::gpu: break;
    }
    return nameSet(
        {condPrefillFile, flowlmStepFile(precision), flowDecoderFusedFile, mimiDecoderFile, constantsBinDir});
}

} // namespace PocketTTS

namespace StyleTTS2 {

const std::set<std::string>& requiredModels() {
    static const auto names =
        nameSet({textEncoderFile, bertFile, refEncoderFile, fusedDiffusionSamplerFile, durationPredictorFile,
                 fusedF0nHarSourceFile, decoderPreFile, decoderUpsampleFile});
    return names;
}

const std::set<std::string>& allModels() {
    static const auto names =
        adding(requiredModels(), {bertT64File, fusedDiffusionSamplerT64File, bertT128File,
                                  fusedDiffusionSamplerT128File, bertT256File, fusedDiffusionSamplerT256File});
    return names;
}

std::set<std::string> bucketModels(int forT) {
    switch (forT) {
    case 64: return nameSet({bertT64File, fusedDiffusionSamplerT64File});
    case 128: return nameSet({bertT128File, fusedDiffusionSamplerT128File});
    case 256: return nameSet({bertT256File, fusedDiffusionSamplerT256File});
    default: return {};
    }
}

} // namespace StyleTTS2

namespace Supertonic3 {
namespace {

constexpr std::string_view dynamicPrefix = "dyn-";
constexpr std::string_view anePrefix = "ane-";

} // namespace

std::string vectorEstimatorName(const std::optional<std::string>& precisionSuffix, std::optional<int> bucket) {
    std::string name(vectorEstimator);
    if (bucket) {
        name.append("_L").append(std::to_string(*bucket));
    }
    if (precisionSuffix) {
        name.append("_").append(*precisionSuffix);
    }
    return name;
}

std::string vectorEstimatorFile(const std::optional<std::string>& precisionSuffix, std::optional<int> bucket) {
    const auto file = concatenated({vectorEstimatorName(precisionSuffix, bucket), ".mlmodelc"});
    if (!precisionSuffix && !bucket) {
        return file;
    }
    return concatenated({variantsSubdir, "/", file});
}

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({textEncoderFile, durationPredictorFile, vectorEstimatorFile(), vocoderFile});
    return names;
}

const std::set<std::string>& sharedModelFiles() {
    static const auto names = nameSet({textEncoderFile, durationPredictorFile, vocoderFile});
    return names;
}

const std::set<std::string>& companionFiles() {
    static const auto names = nameSet({configFile, unicodeIndexerFile});
    return names;
}

const std::set<std::string>& requiredFiles() {
    static const auto names = adding(requiredModels(), {configFile, unicodeIndexerFile});
    return names;
}

std::set<std::string> requiredFiles(const std::optional<std::string>& veVariant) {
    auto names = sharedModelFiles();
    names.insert(companionFiles().begin(), companionFiles().end());
    if (veVariant && veVariant->starts_with(dynamicPrefix)) {
        names.insert(vectorEstimatorFile(veVariant->substr(dynamicPrefix.size())));
    } else if (veVariant && veVariant->starts_with(anePrefix)) {
        const auto suffix = veVariant->substr(anePrefix.size());
        for (const auto bucket : aneBuckets) {
            names.insert(vectorEstimatorFile(suffix, bucket));
        }
    } else {
        names.insert(vectorEstimatorFile());
    }
    return names;
}

} // namespace Supertonic3

namespace MultilingualG2P {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({encoderFile, decoderFile});
    return names;
}

} // namespace MultilingualG2P

namespace G2P {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({encoderFile, decoderFile, vocabularyFile});
    return names;
}

} // namespace G2P

namespace KokoroAne {

const std::set<std::string>& requiredCoreMLModels() {
    static const auto names = nameSet({albert, postAlbert, alignment, prosody, noise, vocoder, tail});
    return names;
}

std::set<std::string> requiredModels() { return adding(requiredCoreMLModels(), {vocab, defaultVoiceFile}); }

std::set<std::string> requiredModelsZh() {
    return adding(requiredCoreMLModels(), {vocab, defaultVoiceFileZh, g2pwModelZh});
}

std::set<std::string> requiredModelsJa() { return adding(requiredCoreMLModels(), {vocab, defaultVoiceFileJa}); }

} // namespace KokoroAne

} // namespace quorl::ModelNames

namespace platform::core {

template <>
std::optional<quorl::PocketTtsModelPlacement> fromRawValue<quorl::PocketTtsModelPlacement>(std::string_view rawValue) {
    return quorl::ModelNames::support::caseWithRawValue(quorl::pocketTtsPlacements, rawValue);
}

template <>
std::optional<quorl::Supertonic3Quantization> fromRawValue<quorl::Supertonic3Quantization>(std::string_view rawValue) {
    return quorl::ModelNames::support::caseWithRawValue(quorl::supertonic3Quantizations, rawValue);
}

template <> std::span<const quorl::Supertonic3Quantization> allCases<quorl::Supertonic3Quantization>() {
    return quorl::supertonic3Quantizations;
}

} // namespace platform::core
