#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneComputeUnits.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneVoicePack.hpp"
#include "tests/QuorlAudio/tts/kokoro/KokoroTestRepository.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

namespace quorl {
namespace {

using testsupport::errorText;

std::vector<float> table() {
    std::vector<float> values(130560);
    std::iota(values.begin(), values.end(), 0.0F);
    return values;
}

TEST(KokoroAneVoicePackTests, PicksTheRowOfThePhonemeCountWithinTheTable) {
    const KokoroAneVoicePack pack(table());
    const std::vector<std::pair<long long, int>> rows{{0, 0}, {1, 0}, {2, 1}, {510, 509}, {100000, 509}, {-4, 0}};
    for (const auto& [count, row] : rows) {
        const auto style = pack.slice(count);
        ASSERT_EQ(style.styleS.size(), 128u);
        ASSERT_EQ(style.styleTimbre.size(), 128u);
        EXPECT_EQ(style.styleS.front(), static_cast<float>(row * 256 + 128)) << count;
        EXPECT_EQ(style.styleS.back(), static_cast<float>(row * 256 + 255)) << count;
        EXPECT_EQ(style.styleTimbre.front(), static_cast<float>(row * 256)) << count;
        EXPECT_EQ(style.styleTimbre.back(), static_cast<float>(row * 256 + 127)) << count;
    }
}

TEST(KokoroAneVoicePackTests, LoadsLittleEndianFloatsAndRefusesOtherSizes) {
    const testsupport::TemporaryFolder folder;
    const auto write = [&](const std::string& bytes) {
        const auto file = folder.path() / "voice.bin";
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    };
    const auto exact = KokoroTestRepository::voicePackBytes(0.5F, 130560);
    EXPECT_EQ(KokoroAneVoicePack::load(write(exact)).storage()[1000], 1000.5F);

    EXPECT_EQ(errorText([&] { KokoroAneVoicePack::load(write(exact + "x")); }),
              "KokoroAne voice pack is invalid: file size 522241 is not a multiple of sizeof(Float)=4");
    EXPECT_EQ(errorText([&] { KokoroAneVoicePack::load(write(exact + std::string(4, '\0'))); }),
              "KokoroAne voice pack is invalid: expected 130560 fp32 elements, got 130561");
    const auto missing = folder.path() / "none.bin";
    try {
        KokoroAneVoicePack::load(missing);
        ADD_FAILURE() << "nothing thrown";
    } catch (const KokoroAneError& error) {
        EXPECT_EQ(error.kind(), KokoroAneError::Kind::voicePackMissing);
        EXPECT_EQ(std::string(error.what()), "KokoroAne voice pack not found at " + missing.string() + ".");
    }
}

TEST(KokoroAneComputeUnitsTests, PresetsPlaceNoiseAndTailApartOnlyWhereTheySay) {
    using Units = platform::ml::ComputeUnits;
    EXPECT_EQ(KokoroAneComputeUnits::fromPreset(TtsComputeUnitPreset::defaultConfig),
              KokoroAneComputeUnits::aneTailGpu());
    const auto tailGpu = KokoroAneComputeUnits::aneTailGpu();
    EXPECT_EQ(tailGpu.forStage(KokoroAneStage::noise), Units::cpuAndGPU);
    EXPECT_EQ(tailGpu.forStage(KokoroAneStage::tail), Units::cpuAndGPU);
    EXPECT_EQ(tailGpu.forStage(KokoroAneStage::vocoder), Units::cpuAndNeuralEngine);
    EXPECT_EQ(KokoroAneComputeUnits::fromPreset(TtsComputeUnitPreset::cpuOnly).alignment, Units::cpuOnly);
    EXPECT_EQ(KokoroAneComputeUnits::fromPreset(TtsComputeUnitPreset::allAne).tail, Units::cpuAndNeuralEngine);
    EXPECT_EQ(KokoroAneComputeUnits::fromPreset(TtsComputeUnitPreset::cpuAndGpu).albert, Units::cpuAndGPU);
    EXPECT_EQ(platform::core::fromRawValue<KokoroAneStage>("noise"), KokoroAneStage::noise);
    EXPECT_EQ(platform::core::fromRawValue<KokoroAneStage>("Noise"), std::nullopt);
    EXPECT_EQ(bundleName(KokoroAneStage::noise), "KokoroNoise_v2.mlmodelc");
}

} // namespace
} // namespace quorl
