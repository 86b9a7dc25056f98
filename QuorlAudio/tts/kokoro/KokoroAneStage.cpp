#include "QuorlAudio/tts/kokoro/KokoroAneStage.hpp"

#include <array>
#include <cstddef>

namespace quorl {
namespace {

struct StageNames {
    KokoroAneStage stage;
    std::string_view rawValue;
    std::string_view bundleName;
};

constexpr std::array<StageNames, 7> stageNames{{
    {KokoroAneStage::albert, "albert", "KokoroAlbert.mlmodelc"},
    {KokoroAneStage::postAlbert, "postAlbert", "KokoroPostAlbert.mlmodelc"},
    {KokoroAneStage::alignment, "alignment", "KokoroAlignment.mlmodelc"},
    {KokoroAneStage::prosody, "prosody", "KokoroProsody.mlmodelc"},
    {KokoroAneStage::noise, "noise", "KokoroNoise_v2.mlmodelc"},
    {KokoroAneStage::vocoder, "vocoder", "KokoroVocoder.mlmodelc"},
    {KokoroAneStage::tail, "tail", "KokoroTail.mlmodelc"},
}};

constexpr std::array<KokoroAneStage, 7> stages{
    KokoroAneStage::albert, KokoroAneStage::postAlbert, KokoroAneStage::alignment, KokoroAneStage::prosody,
    KokoroAneStage::noise,  KokoroAneStage::vocoder,    KokoroAneStage::tail};

const StageNames& namesOf(KokoroAneStage stage) { return stageNames[static_cast<std::size_t>(stage)]; }

} // namespace

std::string_view rawValue(KokoroAneStage stage) { return namesOf(stage).rawValue; }

std::string_view bundleName(KokoroAneStage stage) { return namesOf(stage).bundleName; }

} // namespace quorl

namespace platform::core {

template <> std::optional<quorl::KokoroAneStage> fromRawValue<quorl::KokoroAneStage>(std::string_view rawValue) {
    for (const auto& names : quorl::stageNames) {
        if (names.rawValue == rawValue) {
            return names.stage;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::KokoroAneStage> allCases<quorl::KokoroAneStage>() { return quorl::stages; }

} // namespace platform::core
