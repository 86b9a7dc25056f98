#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3UnicodeProcessor.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Ids = std::vector<std::int64_t>;

// Scalar k gets the id 1000 + k, for scalars below `size`.
Supertonic3UnicodeProcessor processorBelow(std::int64_t size) {
    Supertonic3UnicodeProcessor processor;
    for (std::int64_t value = 0; value < size; ++value) {
        processor.indexer.push_back(1000 + value);
    }
    return processor;
}

std::vector<float> maskRow(std::size_t ones) {
    std::vector<float> row(128, 0.0F);
    std::fill_n(row.begin(), ones, 1.0F);
    return row;
}

TEST(Supertonic3UnicodeProcessorTests, PreprocessingNormalisesReplacesAndTags) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"Hello", "<en>Hello.</en>"},
        {"Wait\u2026", "<en>Wait...</en>"},
        {"a\u2011b", "<en>a\u2010b.</en>"},
        {"it\u00B4s", "<en>it \u0301s.</en>"},
        {"caf\u00E9", "<en>cafe\u0301.</en>"},
        {"I \u2665 tea \u00A9", "<en>I tea.</en>"},
        {"x @ y", "<en>x at y.</en>"},
        {"Hello ,", "<en>Hello,</en>"},
        {"Hello  ,", "<en>Hello ,</en>"},
        {"Cats, e.g., lions", "<en>Cats, for example, lions.</en>"},
        {"Big cats, i.e., lions", "<en>Big cats, that is, lions.</en>"},
        {"\u201CA\u201D \u2018b\u2019 c\u2013d\u2014e f_g [h] i|j k/l #m n\u2192o\u2190p",
         "<en>\"A\"'b' c-d-e f g h i j k l m n o p.</en>"},
        // A space before an apostrophe goes too, and grave accents are apostrophes by then.
        {"Say \"\"\"hi\"\"\" or ''''x'' or ``y``", "<en>Say \"hi\" or'x' or'y'</en>"},
        {"keep \u2606\u2661 \\ \U0001F600\U0001F1EB\U0001F1F7\U0001F680 \U0001F650 out",
         "<en>keep \U0001F650 out.</en>"},
        {"  spaced \t\n out  ", "<en>spaced out.</en>"},
        {"Really?", "<en>Really?</en>"},
        {"(aside)", "<en>(aside)</en>"},
        {"\u300Cquote\u300D", "<en>\u300Cquote\u300D</en>"},
        {"\u2665", "<en></en>"},
        {"", "<en></en>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Supertonic3UnicodeProcessor::preprocess(c.text, "en"), c.expected) << c.text;
    }
}

TEST(Supertonic3UnicodeProcessorTests, EncodesTheTaggedScalarsIntoFixedRowsWithMasks) {
    const auto processor = processorBelow(128);
    const auto encoded = processor.encode({"Hi", "\u4E2D", "\u00E9"}, {"en", "ja", "fr"});
    ASSERT_EQ(encoded.ids.size(), 3U);
    ASSERT_EQ(encoded.mask.size(), 3U);

    Ids hi(128, 0);
    const std::string tagged = "<en>Hi.</en>";
    for (std::size_t position = 0; position < tagged.size(); ++position) {
        hi[position] = 1000 + tagged[position];
    }
    EXPECT_EQ(encoded.ids[0], hi);
    EXPECT_EQ(encoded.mask[0], std::vector<std::vector<float>>{maskRow(tagged.size())});

    // "<ja>" then the ideograph, past the table, then ".</ja>".
    EXPECT_EQ(encoded.ids[1][4], -1);
    EXPECT_EQ(encoded.ids[1][5], 1000 + '.');
    EXPECT_EQ(encoded.mask[1], std::vector<std::vector<float>>{maskRow(11)});

    // The decomposed accent takes a position of its own: "<fr>", "e", U+0301 (past the table), ".".
    EXPECT_EQ(encoded.ids[2][4], 1000 + 'e');
    EXPECT_EQ(encoded.ids[2][5], -1);
    EXPECT_EQ(encoded.ids[2][6], 1000 + '.');
}

TEST(Supertonic3UnicodeProcessorTests, ScalarsPastTheFixedLengthAreDropped) {
    std::string korean;
    for (int syllable = 0; syllable < 57; ++syllable) {
        korean += "\uD55C";
    }
    const auto encoded = processorBelow(0x1200).encode({korean}, {"ko"});
    // Each syllable decomposes into three conjoining jamo, so the closing tag and more fall past 128.
    EXPECT_EQ(encoded.mask[0], std::vector<std::vector<float>>{maskRow(128)});
    EXPECT_EQ(encoded.ids[0][4], 1000 + 0x1112);
    EXPECT_EQ(encoded.ids[0][127], 1000 + 0x1112 + (127 - 4) % 3 * (0x1161 - 0x1112));
}

TEST(Supertonic3UnicodeProcessorTests, RefusesALanguageOutsideTheThirtyTwoCodes) {
    const auto processor = processorBelow(128);
    try {
        processor.encode({"Hello", "Hello"}, {"en", "EN"});
        FAIL() << "EN accepted";
    } catch (const Supertonic3Error& error) {
        EXPECT_EQ(error.kind(), Supertonic3Error::Kind::unsupportedLanguage);
        EXPECT_EQ(std::string(error.what()),
                  "Supertonic3 unsupported language 'EN'. Available: en, ko, ja, ar, bg, cs, da, de, el, es, et, fi, "
                  "fr, hi, hr, hu, id, it, lt, lv, nl, pl, pt, ro, ru, sk, sl, sv, tr, uk, vi, na");
    }
    EXPECT_THROW(processor.encode({"Hello"}, {}), std::invalid_argument);
}

} // namespace
} // namespace quorl
