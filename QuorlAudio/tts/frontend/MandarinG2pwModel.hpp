#pragma once

#include "QuorlAudio/tts/frontend/MandarinBertTokenizer.hpp"
#include "QuorlAudio/tts/frontend/MandarinPolyphoneCatalog.hpp"
#include "platform/core/Error.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// Chooses the readings of polyphonic characters in context with the g2pW model: one prediction over the whole
// text per character to decide, each scoring every reading of the catalogue. Its members never change after
// construction and the model's predictions are thread-safe, so concurrent calls need no lock.
class MandarinG2pwModel {
public:
    class InferenceError : public platform::core::Error {
    public:
        enum class Kind { missingOutput, shapeMismatch };

        // "g2pW model output '" + name + "' is missing".
        static InferenceError missingOutput(const std::string& name);
        // "g2pW shape mismatch: " + text.
        static InferenceError shapeMismatch(const std::string& text);

        Kind kind() const { return kind_; }

    private:
        InferenceError(Kind kind, const std::string& description);

        Kind kind_;
    };

    MandarinG2pwModel(std::shared_ptr<const platform::ml::Model> model, MandarinBertTokenizer tokenizer,
                      MandarinPolyphoneCatalog catalog, int maxLength);

    const MandarinBertTokenizer& tokenizer() const { return tokenizer_; }
    const MandarinPolyphoneCatalog& catalog() const { return catalog_; }
    int maxLength() const { return maxLength_; }

    // The reading chosen for each target (an index into chars) the model can decide, exactly as the catalogue
    // lists it. Skipped: targets outside the characters or cut off by maxLength, characters not in the
    // catalogue. Among a character's candidates the first highest score wins. Predictions run in target order;
    // any error ends the call, the runtime's passed through unchanged.
    std::map<int, std::string> disambiguate(const std::vector<std::string>& chars,
                                            const std::vector<int>& targets) const;

    // A 32-bit integer array of the shape holding the values in order; throws InferenceError shapeMismatch
    // "expected <product> elements for shape [a, b], got <count>" when their numbers differ.
    static std::shared_ptr<platform::ml::MultiArray> makeInt32Array(std::span<const std::int32_t> values,
                                                                    const platform::ml::MultiArray::Shape& shape);

private:
    std::vector<float> runOne(const MandarinBertTokenizer::Encoded& encoded, int targetPosition) const;
    static int bestCandidate(const std::vector<int>& candidates, const std::vector<float>& scores);

    std::shared_ptr<const platform::ml::Model> model_;
    MandarinBertTokenizer tokenizer_;
    MandarinPolyphoneCatalog catalog_;
    int maxLength_;
};

} // namespace quorl
