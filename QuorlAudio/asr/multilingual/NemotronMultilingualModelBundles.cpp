#include "QuorlAudio/asr/multilingual/NemotronMultilingualModelBundles.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "platform/ml/CompileModel.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/sys/Environment.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/text/CaseMapping.hpp"

#include <algorithm>
#include <array>
#include <exception>
#include <system_error>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;

struct ComputeUnitName {
    const char* value;
    ComputeUnits units;
};

constexpr std::array<ComputeUnitName, 5> computeUnitNames{{
    {"CPU", ComputeUnits::cpuOnly},
    {"CPU_ONLY", ComputeUnits::cpuOnly},
    {"CPU_AND_NE", ComputeUnits::cpuAndNeuralEngine},
    {"CPU_AND_GPU", ComputeUnits::cpuAndGPU},
    {"ALL", ComputeUnits::all},
}};

std::optional<ComputeUnits> computeUnitsNamed(const std::string& value) {
    const auto found = std::ranges::find_if(computeUnitNames, [&](const auto& entry) { return value == entry.value; });
    return found == computeUnitNames.end() ? std::nullopt : std::optional(found->units);
}

// Drops this loader's compiled copy; a leftover in a temporary location is harmless, so a failure is ignored.
void discard(const fs::path& bundle) {
    std::error_code ignored;
    fs::remove_all(bundle, ignored);
}

std::shared_ptr<platform::ml::MultiArray> backingFor(const platform::ml::MultiArrayConstraint& constraint) {
    if (std::ranges::any_of(constraint.shape, [](std::size_t size) { return size == 0; })) {
        return nullptr;
    }
    try {
        return std::make_shared<platform::ml::MultiArray>(constraint.shape, constraint.dataType);
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace

fs::path NemotronMultilingualModelBundles::locateModelBundle(const fs::path& directory, const std::string& compiled,
                                                             const std::string& uncompiled, const AppLogger& logger) {
    const fs::path compiledPath = directory / compiled;
    if (platform::sys::isPresent(compiledPath)) {
        return compiledPath;
    }
    const fs::path packagePath = directory / uncompiled;
    if (!platform::sys::isPresent(packagePath)) {
        throw ASRError::processingFailed("Could not find " + compiled + " or " + uncompiled + " in " +
                                         directory.string());
    }
    const fs::path cachePath = directory / (packagePath.stem().string() + ".mlmodelc");
    if (platform::sys::isPresent(cachePath)) {
        return cachePath;
    }
    logger.info("Compiling " + uncompiled + " to .mlmodelc (first run only)...");
    return cacheCompiledBundle(platform::ml::compileModel(packagePath), cachePath, logger);
}

fs::path NemotronMultilingualModelBundles::cacheCompiledBundle(const fs::path& compiledNow, const fs::path& cachePath,
                                                               const AppLogger& logger) {
    if (platform::sys::isPresent(cachePath)) {
        discard(compiledNow);
        return cachePath;
    }
    std::error_code error;
    fs::rename(compiledNow, cachePath, error);
    if (!error) {
        return cachePath;
    }
    if (platform::sys::isPresent(cachePath)) {
        discard(compiledNow);
        return cachePath;
    }
    logger.warning("Could not cache compiled model next to .mlpackage (" + error.message() + "); using temp path.");
    return compiledNow;
}

platform::ml::ModelConfiguration NemotronMultilingualModelBundles::computeUnitOverride(
    const std::string& name, const platform::ml::ModelConfiguration& base, const AppLogger& logger) {
    const auto value = platform::sys::environmentValue(name);
    if (!value) {
        return base;
    }
    const std::string upper = platform::text::uppercased(*value);
    const auto units = computeUnitsNamed(upper);
    if (!units) {
        logger.warning("Unknown value for " + name + ": " + upper + "; ignoring");
        return base;
    }
    logger.info(name + "=" + upper + " \u2192 MLComputeUnits." + std::to_string(platform::ml::rawValue(*units)));
    platform::ml::ModelConfiguration configuration;
    configuration.computeUnits = *units;
    return configuration;
}

std::optional<platform::ml::PredictionOptions>
NemotronMultilingualModelBundles::makePredictionOptions(const std::shared_ptr<const platform::ml::Model>& model) {
    if (!model) {
        return std::nullopt;
    }
    platform::ml::PredictionOptions options;
    for (const auto& [name, output] : model->description().outputDescriptionsByName) {
        if (loopbackOutputNames().contains(name) || !output.multiArrayConstraint) {
            continue;
        }
        if (auto backing = backingFor(*output.multiArrayConstraint)) {
            options.outputBackings.emplace(name, std::move(backing));
        }
    }
    if (options.outputBackings.empty()) {
        return std::nullopt;
    }
    return options;
}

const std::set<std::string>& NemotronMultilingualModelBundles::loopbackOutputNames() {
    static const std::set<std::string> names{"h_out",          "c_out",         "cache_channel_out",
                                             "cache_time_out", "cache_len_out", "mel_cache_out"};
    return names;
}

} // namespace quorl
