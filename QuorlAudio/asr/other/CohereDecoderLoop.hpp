#pragma once

#include "QuorlAudio/asr/other/CohereDecodingOptions.hpp"

#include "platform/ml/DataType.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorl {

// The encoder's answer for one window: its hidden states, passed to the decoder unchanged, and how many of
// its frames hold real audio.
struct CohereEncodedAudio {
    std::shared_ptr<platform::ml::MultiArray> hiddenStates;
    int validFrames;
};

// Greedy decoding with the cache-external Cohere decoder: the ten-token prompt is fed first, then one token
// per step until the end token or the length limit. The key and value caches live here, not in the model:
// after each step the decoder's updated cache arrays become the next step's inputs as they are, with no copy.
class CohereDecoderLoop {
public:
    CohereDecoderLoop(const platform::ml::Model& decoder, bool useStaticSelfMask);

    // The generated ids, without the prompt and the end token. A decoder that leaves out "logits" or an
    // updated cache fails with CohereAsrError::decodingFailed; runtime errors pass through unchanged.
    std::vector<int> decode(const CohereEncodedAudio& encoded, const CohereDecodingOptions& options) const;

    // The element type of the caches and masks: what the decoder declares for "k_cache_0", 16-bit float
    // when it declares no multi-array constraint.
    platform::ml::DataType cacheType() const;

private:
    using Array = std::shared_ptr<platform::ml::MultiArray>;

    struct Caches {
        std::vector<Array> keys;
        std::vector<Array> values;
    };

    struct Run;

    Caches emptyCaches() const;
    std::shared_ptr<const platform::ml::FeatureProvider> predictStep(const Run& run, int step, int token) const;
    static int bestToken(const platform::ml::FeatureProvider& output, const Run& run);
    static void takeUpdatedCaches(const platform::ml::FeatureProvider& output, Caches& caches);

    const platform::ml::Model& decoder_;
    bool useStaticSelfMask_;
};

} // namespace quorl
