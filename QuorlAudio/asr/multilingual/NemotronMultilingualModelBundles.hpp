#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace quorl {

// What the multilingual loaders do to each model of a variant: find its compiled bundle (compiling its
// package once and keeping the result beside it), let the environment choose its compute units, and
// preallocate its fixed-shape outputs.
class NemotronMultilingualModelBundles {
public:
    // The compiled bundle `compiled` in the directory, else the bundle compiled from the package
    // `uncompiled`: found under the package's stem + ".mlmodelc" when an earlier run cached it, otherwise
    // compiled now ("Compiling <package> to .mlmodelc (first run only)...") and moved there. A bundle that
    // another loader cached while this one compiled is kept and used; this one's copy is dropped. When the
    // result cannot be kept in the directory, a warning is logged and the runtime's temporary bundle is
    // returned. Throws ASRError::processingFailed when neither file exists, and the compiler's error.
    static std::filesystem::path locateModelBundle(const std::filesystem::path& directory, const std::string& compiled,
                                                   const std::string& uncompiled, const AppLogger& logger);

    // Moves a bundle compiled just now to `cachePath` and returns where it then is. A bundle already at the
    // cache path was put there by another loader, which may be loading it: it is kept and returned, and
    // `compiledNow` is removed. When the move fails, a warning is logged and `compiledNow` is returned.
    static std::filesystem::path cacheCompiledBundle(const std::filesystem::path& compiledNow,
                                                     const std::filesystem::path& cachePath, const AppLogger& logger);

    // The base configuration, or, when the environment variable `name` holds "CPU", "CPU_ONLY",
    // "CPU_AND_GPU", "ALL" or "CPU_AND_NE" in any letter case, a new default configuration with just those
    // compute units (logged as "<name>=<VALUE> → MLComputeUnits.<code>"). Any other value is logged as a
    // warning and ignored.
    static platform::ml::ModelConfiguration
    computeUnitOverride(const std::string& name, const platform::ml::ModelConfiguration& base, const AppLogger& logger);

    // Options backing every fixed-shape multi-array output of the model with an array made once, except the
    // loopback outputs; none without a model or without such an output.
    static std::optional<platform::ml::PredictionOptions>
    makePredictionOptions(const std::shared_ptr<const platform::ml::Model>& model);

    // The outputs a stream keeps and feeds back ("h_out", "c_out", the three encoder caches and
    // "mel_cache_out"); a backing would let the next prediction overwrite them.
    static const std::set<std::string>& loopbackOutputNames();
};

} // namespace quorl
