#pragma once

#include "platform/core/RawValue.hpp"
#include "platform/ml/ComputeUnits.hpp"

#include <optional>
#include <span>
#include <string_view>

namespace quorl {

// Build of the SenseVoice encoder; the preprocessor is one model for every build.
enum class SenseVoiceEncoderPrecision {
    fp16,
    int8,
    fp32,
};

// "fp16", "int8" or "fp32".
std::string_view rawValue(SenseVoiceEncoderPrecision precision);
// Base name of the precision's encoder model: "SenseVoiceSmall", "SenseVoiceSmall_int8" or "SenseVoiceSmall_fp32".
std::string_view encoderBaseName(SenseVoiceEncoderPrecision precision);
// The full-precision build runs on every unit; the others on the CPU and the neural engine.
platform::ml::ComputeUnits encoderComputeUnits(SenseVoiceEncoderPrecision precision);

} // namespace quorl

namespace platform::core {

template <>
std::optional<quorl::SenseVoiceEncoderPrecision>
fromRawValue<quorl::SenseVoiceEncoderPrecision>(std::string_view rawValue);
template <> std::span<const quorl::SenseVoiceEncoderPrecision> allCases<quorl::SenseVoiceEncoderPrecision>();

} // namespace platform::core
