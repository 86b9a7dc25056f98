#include "QuorlAudio/tts/kokoro/KokoroAneVoicePack.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "platform/core/LittleEndian.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

namespace quorl {
namespace {

using KokoroAneConstants::voicePackCols;
using KokoroAneConstants::voicePackRows;

constexpr std::size_t tableSize = static_cast<std::size_t>(voicePackRows) * voicePackCols;
constexpr std::size_t styleWidth = voicePackCols / 2;

} // namespace

KokoroAneVoicePack::KokoroAneVoicePack(std::vector<float> storage) : storage_(std::move(storage)) {
    if (storage_.size() != tableSize) {
        throw KokoroAneError::invalidVoicePack("expected " + std::to_string(tableSize) + " fp32 elements, got " +
                                               std::to_string(storage_.size()));
    }
}

KokoroAneVoicePack KokoroAneVoicePack::load(const std::filesystem::path& file) {
    if (!platform::sys::isPresent(file)) {
        throw KokoroAneError::voicePackMissing(file);
    }
    const std::string bytes = platform::sys::wholeFile(file);
    if (bytes.size() % sizeof(float) != 0) {
        throw KokoroAneError::invalidVoicePack("file size " + std::to_string(bytes.size()) +
                                               " is not a multiple of sizeof(Float)=" + std::to_string(sizeof(float)));
    }
    std::vector<float> storage(bytes.size() / sizeof(float));
    for (std::size_t index = 0; index < storage.size(); ++index) {
        storage[index] = platform::core::littleEndianFloat32(bytes, index * sizeof(float));
    }
    return KokoroAneVoicePack(std::move(storage));
}

KokoroAneVoicePack::Style KokoroAneVoicePack::slice(long long phonemeCount) const {
    const auto row = static_cast<std::size_t>(std::clamp(phonemeCount - 1, 0LL, voicePackRows - 1LL));
    const auto start = storage_.begin() + static_cast<std::ptrdiff_t>(row * voicePackCols);
    return {.styleS = std::vector<float>(start + styleWidth, start + voicePackCols),
            .styleTimbre = std::vector<float>(start, start + styleWidth)};
}

} // namespace quorl
