#include "QuorlAudio/asr/other/SenseVoiceEncoderPrecision.hpp"

#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/ModelNamesSupport.hpp"

#include <array>

namespace quorl {
namespace {

namespace names = ModelNames::SenseVoice;

constexpr std::array senseVoiceEncoderPrecisions{SenseVoiceEncoderPrecision::fp16, SenseVoiceEncoderPrecision::int8,
                                                 SenseVoiceEncoderPrecision::fp32};

} // namespace

std::string_view rawValue(SenseVoiceEncoderPrecision precision) {
    switch (precision) {
    case SenseVoiceEncoderPrecision::int8: return "int8";
    case SenseVoiceEncoderPrecision::fp32: return "fp32";
    case SenseVoiceEncoderPrecision::fp16: break;
    }
    return "fp16";
}

std::string_view encoderBaseName(SenseVoiceEncoderPrecision precision) {
    switch (precision) {
    case SenseVoiceEncoderPrecision::int8: return names::encoderInt8;
    case SenseVoiceEncoderPrecision::fp32: return names::encoderFp32;
    case SenseVoiceEncoderPrecision::fp16: break;
    }
    return names::encoder;
}

platform::ml::ComputeUnits encoderComputeUnits(SenseVoiceEncoderPrecision precision) {
    return precision == SenseVoiceEncoderPrecision::fp32 ? platform::ml::ComputeUnits::all
                                                         : platform::ml::ComputeUnits::cpuAndNeuralEngine;
}

} // namespace quorl

namespace platform::core {

template <>
std::optional<quorl::SenseVoiceEncoderPrecision>
fromRawValue<quorl::SenseVoiceEncoderPrecision>(std::string_view rawValue) {
    return quorl::ModelNames::support::caseWithRawValue(quorl::senseVoiceEncoderPrecisions, rawValue);
}

template <> std::span<const quorl::SenseVoiceEncoderPrecision> allCases<quorl::SenseVoiceEncoderPrecision>() {
    return quorl::senseVoiceEncoderPrecisions;
}

} // namespace platform::core
