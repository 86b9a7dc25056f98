#pragma once

#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"
#include "QuorlAudio/diarization/streaming/config/SortformerModelPrecision.hpp"
#include "QuorlAudio/diarization/streaming/config/SortformerVariant.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/core/RawValue.hpp"

#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorl::ModelNames {

// The chunked diarizer.
namespace Diarizer {
inline constexpr std::string_view segmentation = "pyannote_segmentation";
inline constexpr std::string_view segmentationFile = "pyannote_segmentation.mlmodelc";
inline constexpr std::string_view embedding = "wespeaker_v2";
inline constexpr std::string_view embeddingFile = "wespeaker_v2.mlmodelc";

const std::set<std::string>& requiredModels();
} // namespace Diarizer

// The offline diarizer. A model's file and path constants name the same bundle.
namespace OfflineDiarizer {
inline constexpr std::string_view segmentation = "Segmentation";
inline constexpr std::string_view segmentationFile = "Segmentation.mlmodelc";
inline constexpr std::string_view segmentationPath = segmentationFile;
inline constexpr std::string_view fbank = "FBank";
inline constexpr std::string_view fbankFile = "FBank.mlmodelc";
inline constexpr std::string_view fbankPath = fbankFile;
inline constexpr std::string_view embedding = "Embedding";
inline constexpr std::string_view embeddingFile = "Embedding.mlmodelc";
inline constexpr std::string_view embeddingPath = embeddingFile;
inline constexpr std::string_view pldaRho = "PldaRho";
inline constexpr std::string_view pldaRhoFile = "PldaRho.mlmodelc";
inline constexpr std::string_view pldaRhoPath = pldaRhoFile;
inline constexpr std::string_view pldaParameters = "plda-parameters.json";

const std::set<std::string>& requiredModels();
} // namespace OfflineDiarizer

// The Sortformer diarizers. The variant's name, preset and compatibility test live beside the enumeration.
namespace Sortformer {
using ModelPrecision = SortformerModelPrecision;
using Variant = SortformerVariant;

inline constexpr std::string_view modelsSubdirectory = "v3/fp16";
inline constexpr Variant defaultVariant = Variant::fastV2_1;
inline constexpr std::string_view offlineModelName = "SortformerOffline_v2.1";

// The folder of the precision's bundles: "v3/fp16" or "v3/palettized".
std::string_view subdirectory(ModelPrecision precision);
// The bundle path, for example "v3/palettized/SortformerNvidiaHigh_v2.1.mlmodelc".
std::string fileName(Variant variant, ModelPrecision precision = ModelPrecision::fp16);

std::string bundle(Variant variant);
std::string bundle(Variant variant, ModelPrecision precision);
// The bundle a configuration names at its precision; none for a configuration without a model variant.
std::optional<std::string> bundle(const SortformerConfig& configuration);
std::string offlineBundle(ModelPrecision precision);

// "v3/fp16/Sortformer_v2.1.mlmodelc".
std::string defaultBundle();
// The fp16 bundle of every variant.
std::set<std::string> requiredModels();
} // namespace Sortformer

// The LS-EEND diarizer.
namespace LSEEND {

// The training set a model was tuned on; each has its own repository.
enum class Variant {
    ami,
    callhome,
    dihard2,
    dihard3,
};

// "ls_eend_ami", "ls_eend_ch", "ls_eend_dih2", "ls_eend_dih3".
std::string_view name(Variant variant);
// The same as the name.
std::string_view description(Variant variant);
Repo repo(Variant variant);

// How much audio the model consumes per step.
enum class StepSize {
    step100ms = 1,
    step200ms = 2,
    step300ms = 3,
    step400ms = 4,
    step500ms = 5,
};

int rawValue(StepSize step);
// None for a raw value outside 1 to 5.
std::optional<StepSize> stepSizeFromRawValue(int rawValue);
// "100ms" to "500ms".
std::string_view description(StepSize step);

// The name and the step, for example "ls_eend_ch_300ms".
std::string name(Variant variant, StepSize step);
// The bundle path inside the step's folder, for example "300ms/ls_eend_ch_300ms.mlmodelc".
std::string fileName(Variant variant, StepSize step);

inline constexpr Variant defaultVariant = Variant::dihard3;
inline constexpr StepSize defaultStep = StepSize::step100ms;

// The one bundle of the variant at the step.
std::vector<std::string> bundle(Variant variant, StepSize step);
// ["100ms/ls_eend_dih3_100ms.mlmodelc"].
std::vector<std::string> defaultBundle();
// Every variant at every step: 20 bundles.
std::set<std::string> requiredModels();

} // namespace LSEEND

} // namespace quorl::ModelNames

namespace platform::core {

// The cases in declaration order.
template <> std::span<const quorl::ModelNames::LSEEND::Variant> allCases<quorl::ModelNames::LSEEND::Variant>();
template <> std::span<const quorl::ModelNames::LSEEND::StepSize> allCases<quorl::ModelNames::LSEEND::StepSize>();

} // namespace platform::core
