#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Writers of the Mandarin pinyin dictionary's records, for tests and benchmarks that make their own files.
namespace testsupport {

// One record of "pinyin_single.bin": the code point, the count byte, each reading after its length byte.
std::string singlesRecord(std::uint32_t codePoint, const std::vector<std::string>& readings);

// One record of "pinyin_phrases.bin": the phrase after its 16-bit length, then the syllables as above.
std::string phrasesRecord(std::string_view phrase, const std::vector<std::string>& syllables);

} // namespace testsupport
