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

// The member of a record with one member per stage, named as the stages are (compute units, timings).
template <class PerStage> auto& stageMember(PerStage& record, KokoroAneStage stage) {
    switch (stage) {
    case KokoroAneStage::albert: return record.albert;
    case KokoroAneStage::postAlbert: return record.postAlbert;
    case KokoroAneStage::alignment: return record.alignment;
    case KokoroAneStage::prosody: return record.prosody;
    case KokoroAneStage::noise: return record.noise;
    case KokoroAneStage::vocoder: return record.vocoder;
    case KokoroAneStage::tail: return record.tail;
    }
    return record.albert;
}

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the raw values.
template <> std::optional<quorl::KokoroAneStage> fromRawValue<quorl::KokoroAneStage>(std::string_view rawValue);

// The seven stages in chain order.
template <> std::span<const quorl::KokoroAneStage> allCases<quorl::KokoroAneStage>();

} // namespace platform::core
