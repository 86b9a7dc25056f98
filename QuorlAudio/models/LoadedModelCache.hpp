#pragma once

#include "QuorlAudio/models/BundleStamp.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <compare>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quorl {

// The models this process has loaded, so that loading a bundle again while a model of it is still in use
// hands out that same model instead of reading and preparing the bundle once more. A model is shared only
// by loads of the same bundle (the same real path) with the same configuration (compute units, low-precision
// accumulation, function) while its files are unchanged on disk (see BundleStamp). Models are held weakly:
// each is freed with its last owner, never kept alive here. Sharing is sound because a model is immutable
// and predicts from several threads at once; every user makes its own state. Thread-safe; loads of
// different bundles run at the same time.
class LoadedModelCache {
public:
    // The cache that every model load of the hub goes through.
    static LoadedModelCache& shared();

    // The model of the bundle under the configuration: the live one from an earlier load when there is
    // one, otherwise loaded by platform::ml::Model::load and remembered. A failed load is passed on
    // unchanged and remembers nothing.
    std::shared_ptr<platform::ml::Model> load(const std::filesystem::path& bundlePath,
                                              const platform::ml::ModelConfiguration& configuration);

    // Forgets the models of every bundle at or below `folder`, so that whatever is written there next is
    // loaded from its own files, even when they look exactly like the old ones. Called once the folder is
    // deleted; a load under way at that moment keeps its model but does not remember it.
    void forgetModelsBelow(const std::filesystem::path& folder);

private:
    struct Key {
        std::filesystem::path bundle;
        platform::ml::ComputeUnits computeUnits;
        bool allowLowPrecisionAccumulationOnGPU;
        std::optional<std::string> functionName;

        auto operator<=>(const Key&) const = default;
    };

    struct Entry {
        std::weak_ptr<platform::ml::Model> model;
        BundleStamp stamp;
    };

    std::shared_ptr<platform::ml::Model> liveModel(const Key& key, const BundleStamp& stamp);
    void remember(Key key, Entry entry, std::uint64_t seenForgets);

    std::mutex mutex_;
    std::map<Key, Entry> entries_;
    // How many times models were forgotten; a load that saw another count may have read deleted files.
    std::uint64_t forgets_ = 0;
};

} // namespace quorl
