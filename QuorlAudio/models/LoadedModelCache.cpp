#include "QuorlAudio/models/LoadedModelCache.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;

// The folder as the bundles' keys spell it: links resolved as far as the path exists, no trailing separator.
fs::path resolvedFolder(const fs::path& folder) {
    std::error_code unresolved;
    fs::path resolved = fs::weakly_canonical(folder, unresolved);
    if (unresolved) {
        resolved = fs::absolute(folder, unresolved).lexically_normal();
    }
    return resolved.has_filename() ? resolved : resolved.parent_path();
}

// Compares whole components, so "Models/vad" does not hold "Models/vad-extra".
bool isAtOrBelow(const fs::path& path, const fs::path& folder) {
    return std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first == folder.end();
}

} // namespace

LoadedModelCache& LoadedModelCache::shared() {
    static LoadedModelCache cache;
    return cache;
}

std::shared_ptr<platform::ml::Model> LoadedModelCache::load(const fs::path& bundlePath,
                                                            const platform::ml::ModelConfiguration& configuration) {
    std::error_code unresolved;
    fs::path bundle = fs::canonical(bundlePath, unresolved);
    // The stamp is taken before the files are read, so a bundle replaced during the load is read again next time.
    auto stamp = unresolved ? std::nullopt : BundleStamp::of(bundle);
    if (!stamp) {
        // Nothing to compare a later load with; the runtime reports what is wrong with the bundle.
        return platform::ml::Model::load(bundlePath, configuration);
    }
    Key key{.bundle = std::move(bundle),
            .computeUnits = configuration.computeUnits,
            .allowLowPrecisionAccumulationOnGPU = configuration.allowLowPrecisionAccumulationOnGPU,
            .functionName = configuration.functionName};
    std::uint64_t seenForgets = 0;
    {
        std::lock_guard lock(mutex_);
        if (auto model = liveModel(key, *stamp)) {
            return model;
        }
        seenForgets = forgets_;
    }
    auto model = platform::ml::Model::load(bundlePath, configuration);
    remember(std::move(key), Entry{.model = model, .stamp = std::move(*stamp)}, seenForgets);
    return model;
}

void LoadedModelCache::forgetModelsBelow(const fs::path& folder) {
    const fs::path resolved = resolvedFolder(folder);
    std::lock_guard lock(mutex_);
    ++forgets_;
    std::erase_if(entries_, [&](const auto& entry) { return isAtOrBelow(entry.first.bundle, resolved); });
}

std::shared_ptr<platform::ml::Model> LoadedModelCache::liveModel(const Key& key, const BundleStamp& stamp) {
    const auto found = entries_.find(key);
    if (found == entries_.end() || found->second.stamp != stamp) {
        return nullptr;
    }
    return found->second.model.lock();
}

void LoadedModelCache::remember(Key key, Entry entry, std::uint64_t seenForgets) {
    std::lock_guard lock(mutex_);
    if (forgets_ != seenForgets) {
        return;
    }
    // Entries of freed models would otherwise pile up, one per bundle and configuration ever loaded.
    std::erase_if(entries_, [](const auto& held) { return held.second.model.expired(); });
    entries_.insert_or_assign(std::move(key), std::move(entry));
}

} // namespace quorl
