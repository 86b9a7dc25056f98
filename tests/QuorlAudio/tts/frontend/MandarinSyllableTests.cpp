#include "QuorlAudio/tts/frontend/MandarinPinyinNormalizer.hpp"
#include "QuorlAudio/tts/frontend/MandarinToneSandhi.hpp"
#include "QuorlAudio/tts/frontend/MandarinToneSandhiPOS.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using MandarinPinyinNormalizer::Syllable;
using Range = MandarinToneSandhiPOS::SyllableRange;

// "wo3 hen3 hao3" as syllables.
std::vector<Syllable> syllables(const std::string& digitForms) {
    std::vector<Syllable> list;
    std::size_t start = 0;
    while (start < digitForms.size()) {
        const std::size_t end = std::min(digitForms.find(' ', start), digitForms.size());
        list.push_back(MandarinPinyinNormalizer::parseDigitForm(digitForms.substr(start, end - start)).value());
        start = end + 1;
    }
    return list;
}

std::vector<int> tones(const std::vector<Syllable>& list) {
    std::vector<int> result;
    for (const Syllable& syllable : list) {
        result.push_back(syllable.tone);
    }
    return result;
}

std::vector<int> afterSandhi(const std::string& digitForms) {
    std::vector<Syllable> list = syllables(digitForms);
    MandarinToneSandhi::apply(list);
    return tones(list);
}

std::vector<int> afterWordSandhi(const std::string& digitForms, const std::vector<Range>& words,
                                 const std::vector<std::string>& tags) {
    std::vector<Syllable> list = syllables(digitForms);
    MandarinToneSandhiPOS::apply(list, words, tags);
    return tones(list);
}

TEST(MandarinSyllableTests, ToneMarksBecomePlainLettersAndATone) {
    const struct {
        std::string text;
        Syllable syllable;
    } cases[] = {
        {"zhōng", {"zhong", 1, false}}, {"lǜ", {"lv", 4, false}},
        {"nü", {"nv", 5, false}},       {"lüè", {"lve", 4, false}},
        {"de", {"de", 5, false}},       {"", {"", 5, false}},
        {"Ā", {"Ā", 5, false}},         {"ń", {"n", 2, false}},
        {"ḿ", {"m", 2, false}},         {"zho\u0304ng", {"zhong", 1, false}},
        {"hao3", {"hao3", 5, false}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MandarinPinyinNormalizer::normalize(c.text), c.syllable) << c.text;
    }
}

TEST(MandarinSyllableTests, DigitFormNeedsLettersAndOneToneDigit) {
    const struct {
        std::string text;
        std::optional<Syllable> syllable;
    } cases[] = {
        {"zi4", Syllable{"zi", 4, false}},
        {"ZHONG1", Syllable{"zhong", 1, false}},
        {"lü3", Syllable{"lv", 3, false}},
        {"lv3", Syllable{"lv", 3, false}},
        {"r5", Syllable{"r", 5, false}},
        {"zhong", std::nullopt},
        {"zhong0", std::nullopt},
        {"zhong6", std::nullopt},
        {"4", std::nullopt},
        {"zhōng1", std::nullopt},
        {"", std::nullopt},
        {"zh ong1", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MandarinPinyinNormalizer::parseDigitForm(c.text), c.syllable) << c.text;
    }
}

TEST(MandarinSyllableTests, SandhiChangesYiBuAndThirdToneRuns) {
    const struct {
        std::string syllables;
        std::vector<int> tones;
    } cases[] = {
        {"ni3 hao3", {2, 3}},
        {"wo3 hen3 hao3", {2, 2, 3}},
        {"ni3 hao3 ma5 wo3 hao3", {2, 3, 5, 2, 3}},
        {"bu4 shi4 bu4 shi4", {2, 4, 2, 4}},
        {"bu4 chi1 bu4 lai2 bu4 hao3", {4, 1, 4, 2, 4, 3}},
        {"yi1 ge4", {2, 4}},
        {"yi1 tian1", {4, 1}},
        {"yi1 nian2 yi1 ci3", {4, 2, 4, 3}},
        {"yi1 tian1 yi1 tian1", {4, 1, 4, 1}},
        {"yi1 ge5", {1, 5}},
        {"di4 yi1", {4, 1}},
        {"hao3", {3}},
        {"yi1 yi1 ge4", {4, 2, 4}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(afterSandhi(c.syllables), c.tones) << c.syllables;
    }
}

TEST(MandarinSyllableTests, WordsGuideTheSandhi) {
    const struct {
        std::string name;
        std::string syllables;
        std::vector<Range> words;
        std::vector<std::string> tags;
        std::vector<int> tones;
    } cases[] = {
        {"a lone numeral keeps yi", "yi1 tian1", {{0, 1}, {1, 2}}, {"m", "n"}, {1, 1}},
        {"yi inside a word changes", "yi1 tian1", {{0, 2}}, {"m"}, {4, 1}},
        {"yi alone but not a numeral changes", "yi1 tian1", {{0, 1}, {1, 2}}, {"d", "n"}, {4, 1}},
        {"A-bu-A keeps bu", "shi4 bu4 shi4", {{0, 1}, {1, 2}, {2, 3}}, {"v", "d", "v"}, {4, 4, 4}},
        {"bu before a fourth tone changes", "bu4 shi4", {{0, 1}, {1, 2}}, {"d", "v"}, {2, 4}},
        {"runs stop at words", "wo3 hen3 hao3", {{0, 1}, {1, 3}}, {"r", "a"}, {3, 2, 3}},
        {"cross-word changes only the left word's last", "ni3 hao3 gou3", {{0, 2}, {2, 3}}, {"a", "n"}, {2, 2, 3}},
        {"no words: no third-tone change", "ni3 hao3", {}, {}, {3, 3}},
        {"no words: yi still changes", "yi1 ge4", {}, {}, {2, 4}},
        {"ranges past the end are cut", "ni3 hao3", {{0, 5}}, {"a"}, {2, 3}},
        {"a word without a tag", "yi1 tian1", {{0, 1}, {1, 2}}, {}, {4, 1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(afterWordSandhi(c.syllables, c.words, c.tags), c.tones) << c.name;
    }
}

} // namespace
} // namespace quorl
