#include "QuorlAudio/diarization/streaming/SortformerFeatureLoader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quorl {
namespace {

std::vector<float> tone(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = 0.2f * std::sin(0.05f * static_cast<float>(index));
    }
    return samples;
}

TEST(SortformerFeatureLoaderTest, TenSecondsGiveNineteenWindowsCutWithTheirContexts) {
    SortformerFeatureLoader loader(SortformerConfig::defaultConfig(), tone(160000));
    EXPECT_EQ(loader.featLength(), 1001);
    EXPECT_EQ(loader.numChunks(), 19);
    EXPECT_EQ(loader.lc(), 8);
    EXPECT_EQ(loader.rc(), 56);
    std::vector<SortformerFeatureLoader::Window> windows;
    while (auto window = loader.next()) {
        windows.push_back(std::move(*window));
    }
    ASSERT_EQ(windows.size(), 19u);
    EXPECT_EQ(windows[0].leftOffset, 0);
    EXPECT_EQ(windows[0].chunkLength, 104);
    EXPECT_EQ(windows[1].leftOffset, 8);
    EXPECT_EQ(windows[1].rightOffset, 56);
    EXPECT_EQ(windows[1].chunkLength, 112);
    const auto& features = loader.featSeq();
    EXPECT_EQ(windows[1].chunkFeatures, std::vector<float>(features.begin() + 40 * 128, features.begin() + 152 * 128));
    EXPECT_EQ(loader.startFeat(), 912);
    EXPECT_EQ(loader.next(), std::nullopt);
    EXPECT_EQ(loader.endFeat(), 960);
}

TEST(SortformerFeatureLoaderTest, AudioTooShortForOneWindowGivesNone) {
    for (const std::size_t samples : {0, 16000}) {
        SortformerFeatureLoader loader(SortformerConfig::defaultConfig(), tone(samples));
        EXPECT_EQ(loader.next(), std::nullopt) << samples;
        EXPECT_EQ(loader.numChunks(), 0) << samples;
    }
}

} // namespace
} // namespace quorl
