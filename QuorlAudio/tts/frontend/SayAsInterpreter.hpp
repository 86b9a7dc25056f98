#pragma once

#include <optional>
#include <string>
#include <string_view>

// Reads a short piece of text aloud in English words by its SSML say-as class: numbers, ordinals, digit strings,
// letters, dates, times, durations, telephone numbers and fractions. Holds no mutable state; any thread may call.
namespace quorl::SayAsInterpreter {

// The content in words by the class `interpretAs`, compared lower-cased and trimmed of blanks and tabs:
// "characters" or "spell-out", "cardinal" or "number", "ordinal", "digits", "date" (with `format` "mdy", the
// default, "dmy", "ymd", "md", "dm", "y", "m" or "d"), "time", "telephone", "fraction". Never fails: content that
// a class cannot read comes back trimmed, and an unknown class returns the content as given.
std::string interpret(std::string_view content, std::string_view interpretAs,
                      std::optional<std::string_view> format = std::nullopt);

} // namespace quorl::SayAsInterpreter
