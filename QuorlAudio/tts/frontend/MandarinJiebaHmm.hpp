#pragma once

#include "QuorlAudio/tts/frontend/MandarinJiebaHmmTables.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// Cuts a run of Han characters into words: the most probable begin/middle/end/single tag of every character
// under the model's tables (Viterbi), the words read off the tags. Holds nothing but its tables, so one
// segmenter serves any number of threads.
class MandarinJiebaHmm {
public:
    explicit MandarinJiebaHmm(MandarinJiebaHmmTables tables);

    const MandarinJiebaHmmTables& tables() const { return tables_; }

    // The words of the text, whose concatenation is the text; one character is one word without the tables.
    std::vector<std::string> segment(std::string_view text) const;

private:
    MandarinJiebaHmmTables tables_;
};

} // namespace quorl
