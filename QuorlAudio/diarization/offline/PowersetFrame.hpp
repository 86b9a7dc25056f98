#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace quorl {

// One model frame of powerset class scores, decoded: class k of the table stands for a set of the three
// local speakers (0: none, 1 to 3: one speaker, 4 to 6: two, 7: all three).
struct PowersetFrame {
    static constexpr std::size_t speakerCount = 3;
    static constexpr std::size_t classCount = 8;

    // The speakers of each class.
    static const std::array<std::vector<std::size_t>, classCount>& table();

    // The first highest score wins (a row of NaN gives 0); classes beyond the table count as the last one.
    static PowersetFrame decode(std::span<const float> scores);

    // The scores' log-softmax and its exponential.
    std::vector<float> logProbs;
    std::vector<float> probabilities;
    std::size_t winner = 0;
    // The winner held within the table.
    std::size_t speakerClass = 0;
    // 1.0 for each speaker of the class, 0.0 otherwise.
    std::vector<float> speakerWeights;
};

} // namespace quorl
