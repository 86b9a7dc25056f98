#pragma once

#include <filesystem>

namespace quorl {

// Where a caller keeps the chunked diarizer's two models; nothing in the toolkit reads it.
struct ModelPaths {
    std::filesystem::path segmentationPath{};
    std::filesystem::path embeddingPath{};
};

} // namespace quorl
