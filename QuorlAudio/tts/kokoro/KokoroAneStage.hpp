#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string_view>

namespace quorl {

// The seven models of the Kokoro synthesis chain, in the order they run.
enum class KokoroAneStage { albert, postAlbert, alignment, prosody, noise, vocoder, tail };

// The stage's name, as errors report it: "albert" … "tail".
std::string_view rawValue(KokoroAneStage stage);

// The compiled bundle the stage loads from, e.g. "KokoroNoise_v2.mlmodelc".
std::string_view bundleName(KokoroAneStage stage);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the raw values.
template <> std::optional<quorl::KokoroAneStage> fromRawValue<quorl::KokoroAneStage>(std::string_view rawValue);

// The seven stages in chain order.
template <> std::span<const quorl::KokoroAneStage> allCases<quorl::KokoroAneStage>();

} // namespace platform::core
