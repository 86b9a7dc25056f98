#include "QuorlAudio/tts/pockettts/SeededRNG.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsFrameDecoding.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace quorl {
namespace {

TEST(SeededRNG, SeedZeroGivesThePublishedStateAndFirstValue) {
    SeededRNG rng(0);
    EXPECT_EQ(rng.state(), (std::array<std::uint64_t, 4>{0xE220A8397B1DCDAFULL, 0x6E789E6AA1B965F4ULL,
                                                         0x06C45D188009454FULL, 0xF88BB8A8724C81ECULL}));
    EXPECT_EQ(rng.next(), 0x99EC5F36CB75F2B4ULL);
}

TEST(SeededRNG, BoundedDrawsOfSeed42) {
    SeededRNG rng(42);
    std::vector<std::uint32_t> draws;
    for (int draw = 0; draw < 4; ++draw) {
        draws.push_back(rng.next(16777217U));
    }
    EXPECT_EQ(draws, (std::vector<std::uint32_t>{798407, 7147834, 3794073, 242528}));
}

TEST(SeededRNG, NoiseRepeatsForOneSeedAndVanishesAtTemperatureZero) {
    SeededRNG first(7);
    SeededRNG second(7);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(PocketTtsSynthesizer::flowNoise(0.7F, first), PocketTtsSynthesizer::flowNoise(0.7F, second));
    }
    SeededRNG cold(7);
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(PocketTtsSynthesizer::flowNoise(0.0F, cold), std::vector<float>(32, 0.0F));
    }
    EXPECT_EQ(cold.state(), first.state()) << "each frame takes 64 draws, whatever the temperature";
}

} // namespace
} // namespace quorl
