#pragma once

#include "QuorlAudio/models/DownloadProgress.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace quorl {

// Which multilingual variant to fetch and where, written with designated initialisers:
// `{.languageCode = "fr", .chunkMs = 1120}`.
struct NemotronMultilingualVariantRequest {
    // Chooses the language folder ("latin" or "multilingual").
    std::string languageCode;
    // Taken as it is, unchecked: 1120 gives "1120ms".
    int chunkMs = 1120;
    // The models root; none: Application Support / "QuorlAudio" / "Models".
    std::optional<std::filesystem::path> to = std::nullopt;
    // Called, from any thread, only while something is downloaded.
    ProgressHandler progressHandler = {};
};

} // namespace quorl
