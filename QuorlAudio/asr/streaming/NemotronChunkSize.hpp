#pragma once

#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string>

namespace quorl {

// The chunk durations of the English cache-aware models; the raw value is milliseconds of audio per chunk.
enum class NemotronChunkSize {
    ms2240,
    ms1120,
    ms560,
};

int rawValue(NemotronChunkSize chunkSize);
std::optional<NemotronChunkSize> nemotronChunkSizeFromRawValue(int rawValue);
// The repository that holds the models of this chunk size.
Repo repo(NemotronChunkSize chunkSize);
// The models' folder inside that repository.
std::string subdirectory(NemotronChunkSize chunkSize);

} // namespace quorl

namespace platform::core {

// ms2240, ms1120, ms560.
template <> std::span<const quorl::NemotronChunkSize> allCases<quorl::NemotronChunkSize>();

} // namespace platform::core
