#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Writes the numbers of a Mandarin text in hanzi before its pronunciation is looked up: dates, clock times,
// money, percentages, fractions, decimals and whole numbers. Pure functions; any thread may call.
namespace quorl::MandarinNumberNormalizer {

// The text with its numbers in hanzi, the rules applied in turn, each to the previous one's output: dates
// ("2024年3月5号" → "二零二四年三月五日", years read digit by digit), times ("12:30" → "十二点三十分"), amounts
// in ¥, ￥, $, € and £, percentages, fractions ("3/4" → "四分之三"), decimals and integers. A minus sign stays
// as written.
std::string normalize(std::string_view text);

// The integer in words: 10010 → "一万零一十", 100000001 → "一亿零一", negatives after "负"; from 10^16 up in
// magnitude digit by digit.
std::string cardinal(std::int64_t value);

// Digits with at most one "." in words, the fraction read digit by digit without its trailing zeros: "12.50" →
// "十二点五", "3.00" → "三".
std::string decimal(std::string_view text);

// Every digit of the text as its hanzi, "-" as "负" and "." as "点"; other characters are left out.
std::string digitString(std::string_view text);

} // namespace quorl::MandarinNumberNormalizer
