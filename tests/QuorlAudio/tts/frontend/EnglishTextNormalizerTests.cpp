#include "QuorlAudio/tts/frontend/EnglishTextNormalizer.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace quorl {
namespace {

TEST(EnglishTextNormalizerTests, SpellsNumbersAndLeavesWhatTouchesOtherCharacters) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"at 3:30 pm", "at three thirty p m"},
        {"10:30 P.M.", "ten thirty p m"},
        {"12:00am", "twelve o'clock a m"},
        {"9:05 a.m.", "nine oh five a m"},
        {"3:30", "3:30"},
        {"13:30 pm", "13:30 pm"},
        {"pi is 3.14", "pi is three point one four"},
        {"0.5", "zero point five"},
        {"10.5.3", "10.5.3"},
        {"1,000", "1,000"},
        {"21st", "twenty first"},
        {"2nd", "second"},
        {"11th", "eleventh"},
        {"112th", "one hundred twelfth"},
        {"21th", "21th"},
        {"1ST", "1ST"},
        {"007", "zero zero seven"},
        {"05", "zero five"},
        {"0", "zero"},
        {"42", "forty two"},
        {"2024", "two thousand twenty four"},
        {"-5", "-five"},
        {"A4 3D 4x4", "A4 3D 4x4"},
        {"12345678901234567890", "12345678901234567890"},
        {"1000000000000000000", "1000000000000000000"},
        {"no digits here", "no digits here"},
        {"\u00C9t\u00E9 21 ans", "\u00C9t\u00E9 twenty one ans"},
        {"1 2 3", "one two three"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EnglishTextNormalizer::normalize(c.text), c.expected) << c.text;
    }
}

TEST(EnglishTextNormalizerTests, ThreadsNormalizeAtTheSameTimeAlike) {
    const std::string text = "On the 3rd at 9:05 a.m., 2024 people paid 3.50 for room 007.";
    const std::string expected = EnglishTextNormalizer::normalize(text);
    EXPECT_EQ(expected, "On the third at nine oh five a m, two thousand twenty four people paid three point five zero "
                        "for room zero zero seven.");
    std::vector<std::string> results(4);
    {
        std::vector<std::jthread> threads;
        for (std::string& result : results) {
            threads.emplace_back([&text, &result] {
                for (int round = 0; round < 20; ++round) {
                    result = EnglishTextNormalizer::normalize(text);
                }
            });
        }
    }
    for (const std::string& result : results) {
        EXPECT_EQ(result, expected);
    }
}

} // namespace
} // namespace quorl
