#pragma once

#include "QuorlAudio/models/ProgressReporter.hpp"

#include <filesystem>
#include <optional>

// Puts what StyleTTS2 reads into the synthesis cache: its model bundles, the token-bucket bundles, and the two
// English front-end assets it shares with Kokoro. A file counts as present when anything exists at its path, so
// a warm cache costs no network access. The model hub does its own retries; nothing is retried here.
// `directory`, where taken, is the cache root; none means the synthesis cache's "Models" folder.
namespace quorl::StyleTTS2ResourceDownloader {

// The eight default bundles in root / "styletts2", fetched through the hub when one is missing; returns that
// folder. Hub failures throw StyleTTS2Error::downloadFailed; a cache root that cannot be made, its own error.
std::filesystem::path ensureDefaultModels(const std::optional<std::filesystem::path>& directory,
                                          const ProgressHandler& progressHandler);

// The BERT and sampler bundles of bucket 64, 128 or 256 in `folder`, fetching only the missing ones. Throws
// StyleTTS2Error::noBucketAvailable for another size and downloadFailed when a fetch fails.
void ensureBucket(int forT, const std::filesystem::path& folder);

// "us_lexicon_cache.json" in the default root's "kokoro" folder; returns the folder.
std::filesystem::path ensureLexiconCache();

// The English G2P models and their vocabulary in root / "kokoro".
void ensureG2PAssets(const std::optional<std::filesystem::path>& directory, const ProgressHandler& progressHandler);

} // namespace quorl::StyleTTS2ResourceDownloader
