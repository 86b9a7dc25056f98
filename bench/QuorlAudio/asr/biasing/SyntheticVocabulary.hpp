#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace quorl::bench {

// `count` made-up words of 4 to 10 letters, the same on every run.
inline std::vector<std::string> syntheticWords(std::size_t count, std::uint32_t seed = 7) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> length(4, 10);
    std::uniform_int_distribution<int> letter(0, 25);
    std::vector<std::string> words;
    words.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        std::string word;
        for (int position = length(generator); position > 0; --position) {
            word += static_cast<char>('a' + letter(generator));
        }
        words.push_back(word);
    }
    return words;
}

} // namespace quorl::bench
