#include "QuorlAudio/asr/biasing/CtcDecoding.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <cstddef>

namespace quorl {
namespace {

using platform::ml::MultiArray;

// Frame t, value v of batch element 0 lies at t x frameStride + v x valueStride from the data.
struct FrameLayout {
    const float* data = nullptr;
    std::size_t frames = 0;
    std::size_t values = 0;
    std::size_t frameStride = 0;
    std::size_t valueStride = 0;

    float at(std::size_t frame, std::size_t value) const { return data[frame * frameStride + value * valueStride]; }
};

// Reading through the strides gives the dense layout's answer and stays correct for padded arrays.
FrameLayout frameLayout(const MultiArray& logProbs) {
    if (logProbs.shape().size() != 3) {
        throw platform::ml::ModelError::invalidArray("CTC log-probabilities must be a [batch, T, V] array");
    }
    const auto* data = logProbs.data<float>();
    if (logProbs.shape()[0] == 0) {
        return {.data = data};
    }
    return {.data = data,
            .frames = logProbs.shape()[1],
            .values = logProbs.shape()[2],
            .frameStride = logProbs.strides()[1],
            .valueStride = logProbs.strides()[2]};
}

// The index of the largest value, the lowest one among equals.
template <class Value> int argMax(std::size_t count, Value value) {
    std::size_t best = 0;
    for (std::size_t index = 1; index < count; ++index) {
        if (value(index) > value(best)) {
            best = index;
        }
    }
    return static_cast<int>(best);
}

// Collapses repeats and drops blanks; a blank between two equal ids lets the second one through.
class GreedyCollapse {
public:
    explicit GreedyCollapse(int blankId) : blankId_(blankId) {}

    void take(int id) {
        if (id != blankId_ && id != previous_) {
            emitted_.push_back(id);
        }
        previous_ = id;
    }

    const std::vector<int>& emitted() const { return emitted_; }

private:
    int blankId_;
    int previous_ = -1;
    std::vector<int> emitted_;
};

} // namespace

std::string decodeCtcTokenIds(const std::vector<int>& ids, const CtcVocabulary& vocabulary) {
    std::string joined;
    for (const int id : ids) {
        if (const auto piece = vocabulary.find(id); piece != vocabulary.end()) {
            joined += piece->second;
        }
    }
    std::string text;
    text.reserve(joined.size());
    const std::string_view marker = ASRConstants::sentencePieceWordBoundary;
    for (std::size_t position = 0; position < joined.size();) {
        if (joined.compare(position, marker.size(), marker) == 0) {
            text += ' ';
            position += marker.size();
        } else {
            text += joined[position++];
        }
    }
    return std::string(platform::text::trimmingBlanks(std::string_view(text)));
}

std::string ctcGreedyDecode(const CtcLogProbs& logProbs, const CtcVocabulary& vocabulary, int blankId) {
    GreedyCollapse collapse(blankId);
    for (const auto& frame : logProbs) {
        if (!frame.empty()) {
            collapse.take(argMax(frame.size(), [&](std::size_t id) { return frame[id]; }));
        }
    }
    return decodeCtcTokenIds(collapse.emitted(), vocabulary);
}

std::string ctcGreedyDecode(const MultiArray& logProbs, const CtcVocabulary& vocabulary, int blankId) {
    const FrameLayout layout = frameLayout(logProbs);
    GreedyCollapse collapse(blankId);
    for (std::size_t frame = 0; layout.values > 0 && frame < layout.frames; ++frame) {
        collapse.take(argMax(layout.values, [&](std::size_t id) { return layout.at(frame, id); }));
    }
    return decodeCtcTokenIds(collapse.emitted(), vocabulary);
}

CtcLogProbs ctcLogProbFrames(const MultiArray& logProbs) {
    const FrameLayout layout = frameLayout(logProbs);
    CtcLogProbs frames(layout.frames, std::vector<float>(layout.values));
    for (std::size_t frame = 0; frame < layout.frames; ++frame) {
        for (std::size_t id = 0; id < layout.values; ++id) {
            frames[frame][id] = layout.at(frame, id);
        }
    }
    return frames;
}

} // namespace quorl
