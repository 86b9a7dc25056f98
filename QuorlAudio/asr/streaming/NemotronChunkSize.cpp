#include "QuorlAudio/asr/streaming/NemotronChunkSize.hpp"

#include <array>

namespace quorl {
namespace {

struct ChunkSizeEntry {
    NemotronChunkSize chunkSize;
    int rawValue;
    Repo repo;
    const char* subdirectory;
};

constexpr std::array<ChunkSizeEntry, 3> entries{{
    {NemotronChunkSize::ms2240, 2240, Repo::nemotronStreaming2240, "nemotron_coreml_2240ms"},
    {NemotronChunkSize::ms1120, 1120, Repo::nemotronStreaming1120, "nemotron_coreml_1120ms"},
    {NemotronChunkSize::ms560, 560, Repo::nemotronStreaming560, "nemotron_coreml_560ms"},
}};

constexpr std::array<NemotronChunkSize, 3> cases{NemotronChunkSize::ms2240, NemotronChunkSize::ms1120,
                                                 NemotronChunkSize::ms560};

const ChunkSizeEntry& entry(NemotronChunkSize chunkSize) { return entries[static_cast<std::size_t>(chunkSize)]; }

} // namespace

int rawValue(NemotronChunkSize chunkSize) { return entry(chunkSize).rawValue; }

std::optional<NemotronChunkSize> nemotronChunkSizeFromRawValue(int rawValue) {
    for (const auto& candidate : entries) {
        if (candidate.rawValue == rawValue) {
            return candidate.chunkSize;
        }
    }
    return std::nullopt;
}

Repo repo(NemotronChunkSize chunkSize) { return entry(chunkSize).repo; }

std::string subdirectory(NemotronChunkSize chunkSize) { return entry(chunkSize).subdirectory; }

} // namespace quorl

namespace platform::core {

template <> std::span<const quorl::NemotronChunkSize> allCases<quorl::NemotronChunkSize>() { return quorl::cases; }

} // namespace platform::core
