#pragma once

#include "QuorlAudio/models/ProgressReporter.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Voice.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3VoiceStyle.hpp"

#include <filesystem>
#include <optional>
#include <string>

// Makes sure the Supertonic-3 model repository and voice styles are on disk, fetching what is missing from the
// model hub. `directory` is the models root; none means the synthesis cache's "Models" folder, made when
// missing (its failure propagates as the file system's error). The repository folder is the root's
// "supertonic-3". A hub failure is Supertonic3Error::downloadFailed; cancellation passes through as it is.
namespace quorl::Supertonic3ResourceDownloader {

// The shared models, "tts.json", "unicode_indexer.json" and the estimator files of `veVariant`
// (Supertonic3VectorEstimator::downloadVariant); when one is missing the whole set is requested. Returns the
// repository folder. The progress handler is called only while downloading.
std::filesystem::path ensureModels(const std::optional<std::filesystem::path>& directory,
                                   const std::optional<std::string>& veVariant,
                                   const ProgressHandler& progressHandler = {});

// The voice's style file, fetched alone when it is not cached; returns its path.
std::filesystem::path downloadVoiceStyle(Supertonic3Voice voice, const std::optional<std::filesystem::path>& directory,
                                         const ProgressHandler& progressHandler = {});

// downloadVoiceStyle, then Supertonic3VoiceStyle::load of the file.
Supertonic3VoiceStyle loadVoiceStyle(Supertonic3Voice voice, const std::optional<std::filesystem::path>& directory,
                                     const ProgressHandler& progressHandler = {});

} // namespace quorl::Supertonic3ResourceDownloader
