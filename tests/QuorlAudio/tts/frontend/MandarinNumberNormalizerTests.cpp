#include "QuorlAudio/tts/frontend/MandarinNumberNormalizer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace quorl {
namespace {

TEST(MandarinNumberNormalizerTests, ReadsDatesTimesAmountsAndNumbers) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"2024年3月5号", "二零二四年三月五日"},
        {"2024-03-05", "二零二四年三月五日"},
        {"2024/3/5", "二零二四年三月五日"},
        {"2024年", "二零二四年"},
        {"2024年13月", "二零二四年十三月"},
        {"08:05", "八点五分"},
        {"12:30:45", "十二点三十分四十五秒"},
        {"¥12.50", "十二点五元"},
        {"￥12.50", "十二点五元"},
        {"$3", "三美元"},
        {"€0.99", "零点九九欧元"},
        {"£100", "一百英镑"},
        {"50%", "百分之五十"},
        {"12.5%", "百分之十二点五"},
        {"3/4", "四分之三"},
        {"3.14", "三点一四"},
        {"3.00", "三"},
        {"10", "十"},
        {"10010", "一万零一十"},
        {"100001000", "一亿一千"},
        {"100000001", "一亿零一"},
        {"0", "零"},
        {"007", "七"},
        {"-5", "-五"},
        {"1,000", "一,零"},
        {"12345678901234567", "一二三四五六七八九零一二三四五六七"},
        {"99999999999999999999", "99999999999999999999"},
        {"我有3个苹果", "我有三个苹果"},
        {"第2024年的第1天", "第二零二四年的第一天"},
        {"\u0663\u0664", "\u0663\u0664"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MandarinNumberNormalizer::normalize(c.text), c.expected) << c.text;
    }
}

TEST(MandarinNumberNormalizerTests, CardinalPlacesTensAndZeros) {
    const struct {
        std::int64_t value;
        std::string expected;
    } cases[] = {
        {105, "一百零五"},
        {1010, "一千零一十"},
        {1100, "一千一百"},
        {2000, "二千"},
        {1001, "一千零一"},
        {110000, "十一万"},
        {-12, "负十二"},
        {9999999999999999, "九千九百九十九兆九千九百九十九亿九千九百九十九万九千九百九十九"},
        {10000000000000000, "一零零零零零零零零零零零零零零零零"},
        {std::numeric_limits<std::int64_t>::min(), "负九二二三三七二零三六八五四七七五八零八"},
        {std::numeric_limits<std::int64_t>::max(), "九二二三三七二零三六八五四七七五八零七"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MandarinNumberNormalizer::cardinal(c.value), c.expected) << c.value;
    }
}

TEST(MandarinNumberNormalizerTests, DecimalsAndDigitStrings) {
    EXPECT_EQ(MandarinNumberNormalizer::decimal("0.05"), "零点零五");
    EXPECT_EQ(MandarinNumberNormalizer::decimal("3.0"), "三");
    EXPECT_EQ(MandarinNumberNormalizer::decimal("3.10"), "三点一");
    EXPECT_EQ(MandarinNumberNormalizer::decimal("42"), "四十二");
    EXPECT_EQ(MandarinNumberNormalizer::decimal(".5"), "点五");
    EXPECT_EQ(MandarinNumberNormalizer::digitString("-1.2x\u0663"), "负一点二三");
}

} // namespace
} // namespace quorl
