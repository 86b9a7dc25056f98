#pragma once

#include "QuorlAudio/asr/streaming/NemotronChunkSize.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrManager.hpp"
#include "QuorlAudio/asr/streaming/StreamingChunkSize.hpp"
#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/core/RawValue.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// The shipped live-engine configurations: three end-of-utterance chunk geometries, three English cache-aware
// chunk sizes, four unified streaming latencies and the unified offline recogniser.
enum class StreamingModelVariant {
    parakeetEou160ms,
    parakeetEou320ms,
    parakeetEou1280ms,
    nemotron2240ms,
    nemotron1120ms,
    nemotron560ms,
    parakeetUnified2080ms,
    parakeetUnified1120ms,
    parakeetUnified320ms,
    parakeetUnified640ms,
    parakeetUnifiedOffline15s,
};

// The model family a variant belongs to, which decides the engine that runs it.
enum class EngineFamily {
    parakeetEou,
    nemotron,
    parakeetUnified,
};

// "parakeet-eou", "nemotron", "parakeet-unified".
std::string rawValue(EngineFamily family);

// "parakeet-eou-160ms", …, "parakeet-unified-offline-15s".
std::string rawValue(StreamingModelVariant variant);
// "Parakeet EOU 120M (160ms)", "Nemotron 0.6B (2240ms)", "Parakeet Unified 0.6B (offline 15s batch)", …
std::string displayName(StreamingModelVariant variant);
Repo repo(StreamingModelVariant variant);
EngineFamily engineFamily(StreamingModelVariant variant);
// Present for the end-of-utterance variants only.
std::optional<StreamingChunkSize> eouChunkSize(StreamingModelVariant variant);
// Present for the English cache-aware variants only.
std::optional<NemotronChunkSize> nemotronChunkSize(StreamingModelVariant variant);
// Present for the four streaming unified variants only; the offline recogniser fixes its own geometry.
std::optional<UnifiedConfig> unifiedConfig(StreamingModelVariant variant);

// A new engine for the variant, without models: the caller calls loadModels(). No configuration means the
// runtime's defaults (every compute unit), not the engines' own defaults.
std::unique_ptr<StreamingAsrManager>
createManager(StreamingModelVariant variant, const std::optional<platform::ml::ModelConfiguration>& configuration);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive matches of the raw values.
template <>
std::optional<quorl::StreamingModelVariant> fromRawValue<quorl::StreamingModelVariant>(std::string_view rawValue);
template <> std::optional<quorl::EngineFamily> fromRawValue<quorl::EngineFamily>(std::string_view rawValue);

// The eleven variants in declaration order.
template <> std::span<const quorl::StreamingModelVariant> allCases<quorl::StreamingModelVariant>();

} // namespace platform::core
