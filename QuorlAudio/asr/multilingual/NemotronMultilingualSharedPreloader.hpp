#pragma once

#include "QuorlAudio/asr/multilingual/SharedNemotronMultilingualModels.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace quorl {

// Reads a variant folder once for several streams: "metadata.json", every model present (a package is
// compiled at each preload and its compiled copy removed once loaded, so nothing piles up beside it), the
// tokenizer. Of the compute-unit variables only "QUORLAUDIO_JOINT_BATCHED_CU" counts, for the batched joint.
class NemotronMultilingualSharedPreloader {
public:
    // The complete set, or the first failure: a missing "metadata.json" before any model is touched, the
    // configuration reader's error, a missing encoder, a model that exists but does not load or compile, a
    // set without a decoding path, a batched joint without both bare models, the tokenizer's error. Without
    // a configuration, models run on the CPU and the Neural Engine with low-precision accumulation allowed.
    static SharedNemotronMultilingualModels
    preload(const std::filesystem::path& directory,
            const std::optional<platform::ml::ModelConfiguration>& configuration);

private:
    NemotronMultilingualSharedPreloader(std::filesystem::path directory,
                                        platform::ml::ModelConfiguration configuration);

    SharedNemotronMultilingualModels run();
    std::shared_ptr<platform::ml::Model> loadShared(const std::string& compiledName, const std::string& packageName,
                                                    const platform::ml::ModelConfiguration& configuration) const;
    std::shared_ptr<platform::ml::Model> loadOptional(const std::string& stem,
                                                      const platform::ml::ModelConfiguration& configuration) const;
    static std::shared_ptr<platform::ml::Model>
    loadCompiledPackage(const std::filesystem::path& package, const platform::ml::ModelConfiguration& configuration);
    void loadDecoderSide(SharedNemotronMultilingualModels& set) const;
    void checkDecodePath(const SharedNemotronMultilingualModels& set) const;

    const AppLogger logger_;
    const std::filesystem::path directory_;
    const platform::ml::ModelConfiguration configuration_;
};

} // namespace quorl
