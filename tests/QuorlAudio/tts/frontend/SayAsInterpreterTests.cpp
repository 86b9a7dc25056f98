#include "QuorlAudio/tts/frontend/SayAsInterpreter.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorl {
namespace {

TEST(SayAsInterpreterTests, ReadsEachClassAndGivesBackWhatItCannotRead) {
    const struct {
        std::string content;
        std::string interpretAs;
        std::optional<std::string> format;
        std::string expected;
    } cases[] = {
        // The class is compared lower-cased and trimmed; an unknown one keeps the content as given.
        {"21", " Cardinal\t", {}, "twenty-one"},
        {" 12 ", "currency", {}, " 12 "},
        {" 12abc ", "number", {}, "twelve"},
        {"1,234", "cardinal", {}, "one thousand two hundred thirty-four"},
        {"-5", "cardinal", {}, "minus five"},
        {"1-2", "cardinal", {}, "1-2"},
        {"12345678901234567890", "cardinal", {}, "12345678901234567890"},
        {"abc", "cardinal", {}, "abc"},
        {"3rd", "ordinal", {}, "third"},
        {"21", "ordinal", {}, "twenty-first"},
        {"20", "ordinal", {}, "twentieth"},
        {"24", "ordinal", {}, "twenty-fourth"},
        {"100", "ordinal", {}, "one hundredth"},
        {"111", "ordinal", {}, "one hundred eleventh"},
        {"112", "ordinal", {}, "one hundred twelfth"},
        {"113", "ordinal", {}, "one hundred thirteenth"},
        {"0", "ordinal", {}, "zeroth"},
        {"-3", "ordinal", {}, "third"},
        {"a1b2", "digits", {}, "one two"},
        {"abc", "digits", {}, ""},
        {"(555) 010-9999", "telephone", {}, "five five five zero one zero nine nine nine nine"},
        {"12/25/2024", "date", {}, "December twenty-fifth twenty twenty-four"},
        {"25/12/2024", "date", "dmy", "twenty-fifth December twenty twenty-four"},
        {"2024-12-25", "date", "ymd", "twenty twenty-four December twenty-fifth"},
        {"12/25/2024", "date", "MDY", "December twenty-fifth twenty twenty-four"},
        {"12/25/2024", "date", "xyz", "December twenty-fifth twenty twenty-four"},
        {"12/25", "date", "md", "December twenty-fifth"},
        {"25.12", "date", "dm", "twenty-fifth December"},
        {"7", "date", "m", "July"},
        {"3", "date", "d", "third"},
        {"13/01/2024", "date", "mdy", "13/01/2024"},
        {"12/25", "date", {}, "12/25"},
        {"today", "date", {}, "today"},
        {"2024", "date", "y", "twenty twenty-four"},
        {"2000", "date", "y", "two thousand"},
        {"2005", "date", "y", "two thousand five"},
        {"1900", "date", "y", "nineteen hundred"},
        {"1905", "date", "y", "nineteen oh five"},
        {"1984", "date", "y", "nineteen eighty-four"},
        {"2010", "date", "y", "twenty ten"},
        {"1000", "date", "y", "one thousand"},
        {"3000", "date", "y", "three thousand"},
        {"999", "date", "y", "nine hundred ninety-nine"},
        {"12000", "date", "y", "twelve thousand"},
        {"3:00", "time", {}, "three o'clock"},
        {"3:05", "time", {}, "three oh five"},
        {"14:30", "time", {}, "fourteen thirty"},
        {"2'30\"", "time", {}, "two minutes thirty seconds"},
        {"1'", "time", {}, "one minute"},
        {"1\"", "time", {}, "one second"},
        {"x'", "time", {}, "x'"},
        {"noon", "time", {}, "noon"},
        {"1/2", "fraction", {}, "one half"},
        {"3/4", "fraction", {}, "three quarters"},
        {"1/4", "fraction", {}, "one quarter"},
        {"3/2", "fraction", {}, "three halves"},
        {"1/3", "fraction", {}, "one third"},
        {"3/8", "fraction", {}, "three eighths"},
        {"0/5", "fraction", {}, "zero fifths"},
        {"2 1/3", "fraction", {}, "two and one third"},
        {"1+1/2", "fraction", {}, "one and one half"},
        {"5/0", "fraction", {}, "5/0"},
        {"1/2/3", "fraction", {}, "1/2/3"},
        {"abc", "characters", {}, "a b c"},
        {"a b", "spell-out", {}, "a   b"},
        {"e\u0301t", "characters", {}, "e\u0301 t"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SayAsInterpreter::interpret(c.content, c.interpretAs, c.format), c.expected)
            << c.content << " as " << c.interpretAs;
    }
}

} // namespace
} // namespace quorl
