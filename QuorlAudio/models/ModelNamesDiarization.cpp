#include "QuorlAudio/models/ModelNamesDiarization.hpp"

#include "QuorlAudio/models/ModelNamesSupport.hpp"

#include <array>

namespace quorl::ModelNames {

using support::concatenated;
using support::nameSet;

namespace Diarizer {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({segmentationFile, embeddingFile});
    return names;
}

} // namespace Diarizer

namespace OfflineDiarizer {

const std::set<std::string>& requiredModels() {
    static const auto names = nameSet({segmentationFile, fbankFile, embeddingFile, pldaRhoFile, pldaParameters});
    return names;
}

} // namespace OfflineDiarizer

namespace Sortformer {

std::string_view subdirectory(ModelPrecision precision) {
    return precision == ModelPrecision::palettized ? "v3/palettized" : "v3/fp16";
}

std::string fileName(Variant variant, ModelPrecision precision) {
    return concatenated({subdirectory(precision), "/", name(variant), ".mlmodelc"});
}

std::string bundle(Variant variant) { return fileName(variant); }

std::string bundle(Variant variant, ModelPrecision precision) { return fileName(variant, precision); }

std::optional<std::string> bundle(const SortformerConfig& configuration) {
    if (!configuration.modelVariant) {
        return std::nullopt;
    }
    return fileName(*configuration.modelVariant, configuration.precision);
}

std::string offlineBundle(ModelPrecision precision) {
    return concatenated({subdirectory(precision), "/", offlineModelName, ".mlmodelc"});
}

std::string defaultBundle() { return fileName(defaultVariant); }

std::set<std::string> requiredModels() {
    std::set<std::string> names;
    for (const auto variant : platform::core::allCases<Variant>()) {
        names.insert(fileName(variant));
    }
    return names;
}

} // namespace Sortformer

namespace LSEEND {
namespace {

constexpr std::array variants{Variant::ami, Variant::callhome, Variant::dihard2, Variant::dihard3};
constexpr std::array steps{StepSize::step100ms, StepSize::step200ms, StepSize::step300ms, StepSize::step400ms,
                           StepSize::step500ms};

} // namespace

std::string_view name(Variant variant) {
    switch (variant) {
    case Variant::ami: return "ls_eend_ami";
    case Variant::callhome: return "ls_eend_ch";
    case Variant::dihard2: return "ls_eend_dih2";
    case Variant::dihard3: return "ls_eend_dih3";
    }
    return "";
}

std::string_view description(Variant variant) { return name(variant); }

Repo repo(Variant variant) {
    switch (variant) {
    case Variant::ami: return Repo::lseendAmi;
    case Variant::callhome: return Repo::lseendCallHome;
    case Variant::dihard2: return Repo::lseendDihard2;
    case Variant::dihard3: return Repo::lseendDihard3;
    }
    return Repo::lseendDihard3;
}

int rawValue(StepSize step) { return static_cast<int>(step); }

std::optional<StepSize> stepSizeFromRawValue(int rawValue) {
    for (const auto step : steps) {
        if (LSEEND::rawValue(step) == rawValue) {
            return step;
        }
    }
    return std::nullopt;
}

std::string_view description(StepSize step) {
    switch (step) {
    case StepSize::step100ms: return "100ms";
    case StepSize::step200ms: return "200ms";
    case StepSize::step300ms: return "300ms";
    case StepSize::step400ms: return "400ms";
    case StepSize::step500ms: return "500ms";
    }
    return "";
}

std::string name(Variant variant, StepSize step) { return concatenated({name(variant), "_", description(step)}); }

std::string fileName(Variant variant, StepSize step) {
    return concatenated({description(step), "/", name(variant, step), ".mlmodelc"});
}

std::vector<std::string> bundle(Variant variant, StepSize step) { return {fileName(variant, step)}; }

std::vector<std::string> defaultBundle() { return bundle(defaultVariant, defaultStep); }

std::set<std::string> requiredModels() {
    std::set<std::string> names;
    for (const auto variant : variants) {
        for (const auto step : steps) {
            names.insert(fileName(variant, step));
        }
    }
    return names;
}

} // namespace LSEEND

} // namespace quorl::ModelNames

namespace platform::core {

template <> std::span<const quorl::ModelNames::LSEEND::Variant> allCases<quorl::ModelNames::LSEEND::Variant>() {
    return quorl::ModelNames::LSEEND::variants;
}

template <> std::span<const quorl::ModelNames::LSEEND::StepSize> allCases<quorl::ModelNames::LSEEND::StepSize>() {
    return quorl::ModelNames::LSEEND::steps;
}

} // namespace platform::core
