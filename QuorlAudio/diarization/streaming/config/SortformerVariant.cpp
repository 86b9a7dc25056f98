#include "QuorlAudio/diarization/streaming/config/SortformerVariant.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"

#include <array>

namespace quorl {
namespace {

constexpr std::array variants{
    SortformerVariant::fastV2,        SortformerVariant::fastV2_1,      SortformerVariant::balancedV2,
    SortformerVariant::balancedV2_1,  SortformerVariant::highContextV2, SortformerVariant::highContextV2_1,
    SortformerVariant::efficientV2_1,
};

} // namespace

std::string_view name(SortformerVariant variant) {
    switch (variant) {
    case SortformerVariant::fastV2: return "Sortformer_v2";
    case SortformerVariant::fastV2_1: return "Sortformer_v2.1";
    case SortformerVariant::balancedV2: return "SortformerNvidiaLow_v2";
    case SortformerVariant::balancedV2_1: return "SortformerNvidiaLow_v2.1";
    case SortformerVariant::highContextV2: return "SortformerNvidiaHigh_v2";
    case SortformerVariant::highContextV2_1: return "SortformerNvidiaHigh_v2.1";
    case SortformerVariant::efficientV2_1: return "SortformerEfficient_v2.1";
    }
    return "";
}

std::string_view caseName(SortformerVariant variant) {
    switch (variant) {
    case SortformerVariant::fastV2: return "fastV2";
    case SortformerVariant::fastV2_1: return "fastV2_1";
    case SortformerVariant::balancedV2: return "balancedV2";
    case SortformerVariant::balancedV2_1: return "balancedV2_1";
    case SortformerVariant::highContextV2: return "highContextV2";
    case SortformerVariant::highContextV2_1: return "highContextV2_1";
    case SortformerVariant::efficientV2_1: return "efficientV2_1";
    }
    return "";
}

const SortformerConfig& defaultConfiguration(SortformerVariant variant) {
    switch (variant) {
    case SortformerVariant::fastV2: return SortformerConfig::fastV2();
    case SortformerVariant::fastV2_1: return SortformerConfig::fastV2_1();
    case SortformerVariant::balancedV2: return SortformerConfig::balancedV2();
    case SortformerVariant::balancedV2_1: return SortformerConfig::balancedV2_1();
    case SortformerVariant::highContextV2: return SortformerConfig::highContextV2();
    case SortformerVariant::highContextV2_1: return SortformerConfig::highContextV2_1();
    case SortformerVariant::efficientV2_1: return SortformerConfig::efficientV2_1();
    }
    return SortformerConfig::defaultConfig();
}

bool isCompatible(SortformerVariant variant, const SortformerConfig& configuration) {
    return defaultConfiguration(variant).isCompatible(configuration);
}

} // namespace quorl

namespace platform::core {

template <> std::span<const quorl::SortformerVariant> allCases<quorl::SortformerVariant>() { return quorl::variants; }

} // namespace platform::core
