#pragma once

#include <optional>
#include <string>

namespace quorl {

// A final transcript made to read as a sentence: trimmed of white space and line breaks, its first
// character upper-cased, and "." (or "。" for a language code beginning with "zh" or "ja") added unless it
// already ends in terminal punctuation. Text of nothing but white space is returned unchanged.
std::string tidyTerminalPunctuation(const std::string& text, const std::optional<std::string>& language);

} // namespace quorl
