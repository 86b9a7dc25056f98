#pragma once

#include "platform/core/RawValue.hpp"

#include <span>
#include <string_view>

namespace quorl {

struct SortformerConfig;

// The published Sortformer models. Each has a bundle in the model catalogue and a configuration preset of
// the same name.
enum class SortformerVariant {
    fastV2,
    fastV2_1,
    balancedV2,
    balancedV2_1,
    highContextV2,
    highContextV2_1,
    efficientV2_1,
};

// The bundle's base name, for example "Sortformer_v2.1" for fastV2_1.
std::string_view name(SortformerVariant variant);

// The case name used in log lines, for example "highContextV2".
std::string_view caseName(SortformerVariant variant);

// The configuration preset named like the variant: fastV2 gives SortformerConfig::fastV2(), and so on.
const SortformerConfig& defaultConfiguration(SortformerVariant variant);

// Whether the configuration feeds the variant's model inputs of the shapes its preset does.
bool isCompatible(SortformerVariant variant, const SortformerConfig& configuration);

} // namespace quorl

namespace platform::core {

// The seven variants in declaration order.
template <> std::span<const quorl::SortformerVariant> allCases<quorl::SortformerVariant>();

} // namespace platform::core
