#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"
#include "platform/ml/Model.hpp"

#include <cstdint>
#include <filesystem>
#include <span>

// Clones a voice from a short clip with the Mimi encoder, and keeps cloned voices in files. A cloned voice is
// the encoder's conditioning frames of 1024 floats for the real audio of the clip; its file holds those floats
// as little-endian 32-bit values and nothing else.
namespace quorl::PocketTtsVoiceCloner {

inline constexpr std::int64_t sampleRate = 24000;
inline constexpr std::int64_t frameSize = 1920;
// The encoder always takes 10 s; shorter clips are padded with silence, longer ones cut.
inline constexpr std::int64_t encoderInputSamples = 240000;
inline constexpr std::int64_t maxVoiceFrames = 125;
inline constexpr double minDurationSeconds = 1.0;
inline constexpr double maxDurationSeconds = 10.0;

// The clip of any common format, rate and channel count, converted to 24 kHz mono first. Throws
// PocketTTSError::processingFailed "Failed to load audio file: …" when it cannot be read or holds no samples.
PocketTtsVoiceData cloneVoice(const std::filesystem::path& from, const platform::ml::Model& encoder);
// Mono samples at 24 kHz, at least one second of them. Throws PocketTTSError::processingFailed for a shorter
// clip or an encoder without a [1, T, D] "conditioning" output; the runtime's errors pass through.
PocketTtsVoiceData cloneVoice(std::span<const float> from, const platform::ml::Model& encoder);

// Writes the voice's prompt frames, replacing the file.
void saveVoice(const PocketTtsVoiceData& voice, const std::filesystem::path& to);
// Reads a file of 1 to 125 frames; throws PocketTTSError::processingFailed for any other size.
PocketTtsVoiceData loadVoice(const std::filesystem::path& from);

} // namespace quorl::PocketTtsVoiceCloner
