#include "QuorlAudio/tts/frontend/MandarinBopomofoMap.hpp"
#include "QuorlAudio/tts/frontend/MandarinErhua.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using MandarinPinyinNormalizer::Syllable;

TEST(MandarinBopomofoTests, WritesInitialFinalErhuaAndTone) {
    const struct {
        std::string syllable;
        int tone;
        bool erhua;
        std::optional<std::string> written;
    } cases[] = {
        {"zhong", 1, false, "ㄓ中1"},
        {"ni", 3, false, "ㄋㄧ3"},
        {"zi", 4, false, "ㄗㄭ4"},
        {"shi", 4, false, "ㄕ十4"},
        {"ri", 4, false, "ㄖ十4"},
        {"yi", 1, false, "ㄧ1"},
        {"yue", 4, false, "月4"},
        {"jun", 1, false, "ㄐ云1"},
        {"quan", 2, false, "ㄑ元2"},
        {"xue", 2, false, "ㄒ月2"},
        {"ju", 3, false, "ㄐㄩ3"},
        {"gui", 4, false, "ㄍ为4"},
        {"liu", 2, false, "ㄌ又2"},
        {"lun", 2, false, "ㄌ文2"},
        {"hua", 1, true, "ㄏ穵ㄦ1"},
        {"er", 2, false, "ㄦ2"},
        {"n", 2, false, "ㄋ2"},
        {"m", 2, false, "ㄇ2"},
        {"wei", 4, false, "为4"},
        {"wen", 2, false, "文2"},
        {"you", 3, false, "又3"},
        {"zhong", 0, false, "ㄓ中"},
        {"zhong", 6, false, "ㄓ中"},
        {"h", 1, true, "ㄏㄦ1"},
        {"", 1, false, std::nullopt},
        {"ng", 2, false, std::nullopt},
        {"hm", 2, false, std::nullopt},
        {"Zhong", 1, false, std::nullopt},
        {"zhonG", 1, false, std::nullopt},
        {"ui", 4, false, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MandarinBopomofoMap::encode(c.syllable, c.tone, c.erhua), c.written)
            << c.syllable << c.tone << (c.erhua ? " erhua" : "");
    }
}

TEST(MandarinBopomofoTests, TablesHaveTheirFullSize) {
    EXPECT_EQ(MandarinBopomofoMap::initials().size(), 21U);
    EXPECT_EQ(MandarinBopomofoMap::initialMap().size(), 21U);
    EXPECT_EQ(MandarinBopomofoMap::finalMap().size(), 38U);
    EXPECT_EQ(MandarinBopomofoMap::allowedPunctuation().size(), 15U);
    EXPECT_TRUE(MandarinBopomofoMap::allowedPunctuation().contains("\u2026"));
    EXPECT_FALSE(MandarinBopomofoMap::allowedPunctuation().contains("\u3002"));
}

std::vector<Syllable> merged(std::vector<Syllable> syllables) {
    MandarinErhua::merge(syllables);
    return syllables;
}

TEST(MandarinBopomofoTests, ErhuaMergesOnlyTheNeutralSuffix) {
    const Syllable hua{"hua", 1, false};
    const Syllable huar{"hua", 1, true};
    const Syllable er5{"er", 5, false};
    const Syllable er2{"er", 2, false};
    const Syllable er4{"er", 4, false};
    const Syllable ni3{"ni", 3, false};
    const Syllable shi2{"shi", 2, false};
    const Syllable ling2{"ling", 2, false};
    const struct {
        std::string name;
        std::vector<Syllable> syllables;
        std::vector<Syllable> merged;
    } cases[] = {
        {"hua1 er5 er2", {hua, er5, er2}, {huar, er2}},
        {"ni3 er2 stays", {ni3, er2}, {ni3, er2}},
        {"ni3 er5 merges", {ni3, er5}, {{"ni", 3, true}}},
        {"er2 er2", {er2, er2}, {er2, er2}},
        {"er5 er5", {er5, er5}, {er5, er5}},
        {"er5 at the start", {er5}, {er5}},
        {"shi2 er4 (twelve)", {shi2, er4}, {shi2, er4}},
        {"er4 ling2 er4 (two zero two)", {er4, ling2, er4}, {er4, ling2, er4}},
        {"two suffixes", {hua, er5, ni3, er5}, {huar, {"ni", 3, true}}},
        {"after an empty base", {{"", 5, false}, er5}, {{"", 5, false}, er5}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(merged(c.syllables), c.merged) << c.name;
    }
}

} // namespace
} // namespace quorl
