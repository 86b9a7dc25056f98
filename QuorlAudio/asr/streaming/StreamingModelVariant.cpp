#include "QuorlAudio/asr/streaming/StreamingModelVariant.hpp"

#include "QuorlAudio/asr/streaming/StreamingEouAsrManager.hpp"
#include "QuorlAudio/asr/streaming/StreamingNemotronAsrManager.hpp"
#include "QuorlAudio/asr/streaming/StreamingUnifiedAsrManager.hpp"
#include "QuorlAudio/asr/streaming/UnifiedAsrManager.hpp"

#include <array>
#include <cstddef>

namespace quorl {
namespace {

using V = StreamingModelVariant;

struct Entry {
    V variant;
    const char* rawValue;
    const char* displayName;
    Repo repo;
    EngineFamily family;
    std::optional<StreamingChunkSize> eouChunkSize;
    std::optional<NemotronChunkSize> nemotronChunkSize;
    std::optional<UnifiedConfig> unifiedConfig;
};

constexpr auto none = std::nullopt;

UnifiedConfig unified(std::int64_t chunkFrames, std::int64_t rightFrames) {
    return {.leftFrames = 70, .chunkFrames = chunkFrames, .rightFrames = rightFrames};
}

// In declaration order.
const std::array<Entry, 11>& entries() {
    static const std::array<Entry, 11> table{{
        {V::parakeetEou160ms, "parakeet-eou-160ms", "Parakeet EOU 120M (160ms)", Repo::parakeetEou160,
         EngineFamily::parakeetEou, StreamingChunkSize::ms160, none, none},
        {V::parakeetEou320ms, "parakeet-eou-320ms", "Parakeet EOU 120M (320ms)", Repo::parakeetEou320,
         EngineFamily::parakeetEou, StreamingChunkSize::ms320, none, none},
        {V::parakeetEou1280ms, "parakeet-eou-1280ms", "Parakeet EOU 120M (1280ms)", Repo::parakeetEou1280,
         EngineFamily::parakeetEou, StreamingChunkSize::ms1280, none, none},
        {V::nemotron2240ms, "nemotron-2240ms", "Nemotron 0.6B (2240ms)", Repo::nemotronStreaming2240,
         EngineFamily::nemotron, none, NemotronChunkSize::ms2240, none},
        {V::nemotron1120ms, "nemotron-1120ms", "Nemotron 0.6B (1120ms)", Repo::nemotronStreaming1120,
         EngineFamily::nemotron, none, NemotronChunkSize::ms1120, none},
        {V::nemotron560ms, "nemotron-560ms", "Nemotron 0.6B (560ms)", Repo::nemotronStreaming560,
         EngineFamily::nemotron, none, NemotronChunkSize::ms560, none},
        {V::parakeetUnified2080ms, "parakeet-unified-2080ms", "Parakeet Unified 0.6B (2080ms)", Repo::parakeetUnified,
         EngineFamily::parakeetUnified, none, none, unified(13, 13)},
        {V::parakeetUnified1120ms, "parakeet-unified-1120ms", "Parakeet Unified 0.6B (1120ms)", Repo::parakeetUnified,
         EngineFamily::parakeetUnified, none, none, unified(7, 7)},
        {V::parakeetUnified320ms, "parakeet-unified-320ms", "Parakeet Unified 0.6B (320ms)", Repo::parakeetUnified,
         EngineFamily::parakeetUnified, none, none, unified(2, 2)},
        {V::parakeetUnified640ms, "parakeet-unified-640ms", "Parakeet Unified 0.6B (640ms)", Repo::parakeetUnified,
         EngineFamily::parakeetUnified, none, none, unified(7, 1)},
        {V::parakeetUnifiedOffline15s, "parakeet-unified-offline-15s", "Parakeet Unified 0.6B (offline 15s batch)",
         Repo::parakeetUnified, EngineFamily::parakeetUnified, none, none, none},
    }};
    return table;
}

constexpr std::array variants{
    V::parakeetEou160ms,     V::parakeetEou320ms,     V::parakeetEou1280ms,         V::nemotron2240ms,
    V::nemotron1120ms,       V::nemotron560ms,        V::parakeetUnified2080ms,     V::parakeetUnified1120ms,
    V::parakeetUnified320ms, V::parakeetUnified640ms, V::parakeetUnifiedOffline15s,
};

constexpr std::array families{EngineFamily::parakeetEou, EngineFamily::nemotron, EngineFamily::parakeetUnified};

const Entry& entry(V variant) { return entries()[static_cast<std::size_t>(variant)]; }

// How long an end of utterance must hold before the end-of-utterance engines report it.
constexpr std::int64_t eouDebounceMs = 1280;

std::unique_ptr<StreamingAsrManager> createForFamily(const Entry& entry,
                                                     const platform::ml::ModelConfiguration& configuration) {
    switch (entry.family) {
    case EngineFamily::parakeetEou:
        return std::make_unique<StreamingEouAsrManager>(StreamingEouAsrManager::Config{
            .configuration = configuration, .chunkSize = *entry.eouChunkSize, .eouDebounceMs = eouDebounceMs});
    case EngineFamily::nemotron:
        return std::make_unique<StreamingNemotronAsrManager>(StreamingNemotronAsrManager::Options{
            .configuration = configuration, .requestedChunkSize = entry.nemotronChunkSize});
    case EngineFamily::parakeetUnified:
        if (!entry.unifiedConfig) {
            // The offline recogniser decodes 15 s windows; of its geometry it reads only the sizes.
            return std::make_unique<UnifiedAsrManager>(
                UnifiedAsrManager::Options{.configuration = configuration, .config = unified(13, 13)});
        }
        return std::make_unique<StreamingUnifiedAsrManager>(
            StreamingUnifiedAsrManager::Options{.configuration = configuration, .config = *entry.unifiedConfig});
    }
    return nullptr;
}

} // namespace

std::string rawValue(EngineFamily family) {
    switch (family) {
    case EngineFamily::parakeetEou: return "parakeet-eou";
    case EngineFamily::nemotron: return "nemotron";
    case EngineFamily::parakeetUnified: return "parakeet-unified";
    }
    return "";
}

std::string rawValue(StreamingModelVariant variant) { return entry(variant).rawValue; }
std::string displayName(StreamingModelVariant variant) { return entry(variant).displayName; }
Repo repo(StreamingModelVariant variant) { return entry(variant).repo; }
EngineFamily engineFamily(StreamingModelVariant variant) { return entry(variant).family; }
std::optional<StreamingChunkSize> eouChunkSize(StreamingModelVariant variant) { return entry(variant).eouChunkSize; }

std::optional<NemotronChunkSize> nemotronChunkSize(StreamingModelVariant variant) {
    return entry(variant).nemotronChunkSize;
}

std::optional<UnifiedConfig> unifiedConfig(StreamingModelVariant variant) { return entry(variant).unifiedConfig; }

std::unique_ptr<StreamingAsrManager>
createManager(StreamingModelVariant variant, const std::optional<platform::ml::ModelConfiguration>& configuration) {
    return createForFamily(entry(variant), configuration.value_or(platform::ml::ModelConfiguration{}));
}

} // namespace quorl

namespace platform::core {

template <>
std::optional<quorl::StreamingModelVariant> fromRawValue<quorl::StreamingModelVariant>(std::string_view rawValue) {
    for (const auto variant : quorl::variants) {
        if (quorl::rawValue(variant) == rawValue) {
            return variant;
        }
    }
    return std::nullopt;
}

template <> std::optional<quorl::EngineFamily> fromRawValue<quorl::EngineFamily>(std::string_view rawValue) {
    for (const auto family : quorl::families) {
        if (quorl::rawValue(family) == rawValue) {
            return family;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::StreamingModelVariant> allCases<quorl::StreamingModelVariant>() {
    return quorl::variants;
}

} // namespace platform::core
