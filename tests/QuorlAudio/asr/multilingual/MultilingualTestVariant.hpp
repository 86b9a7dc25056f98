#pragma once

#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// What the encoder of a test variant produces per chunk.
struct MultilingualEncoderOutputs {
    std::size_t frames = 2;
    bool projected = false;
    bool timeCache = false;
};

// A multilingual variant folder written for a test: "metadata.json", "tokenizer.json" (pieces "▁hello",
// "▁world", "<en>", "<de>", "<fr>" for ids 0 to 4) and the models the test adds, each run by a scripted kernel
// that notes its name in the order of the predictions. The models declare the inputs the recogniser passes
// them, so the runtime checks every name, shape and type.
//
// Answers: the encoder gives "encoded" (0, i, t) = 100 t + i and, when asked for, "encoder_proj" (0, t, i)
// the same; a decoding model answers the token its script chooses (the blank without one) as a one-hot
// "logits" or as "token_id", with "h_out" and "c_out" filled with the number of its predictions so far; the
// bare decoder's "decoder_out" holds the token it was fed; the batched joint answers its row script (blanks
// without one) as one-hot "logits" [1, K, 1, V]; other outputs are zeros.
class MultilingualTestVariant {
public:
    enum class Model {
        encoder,
        decoder,
        joint,
        decoderJoint,
        decoderJointArgmax,
        decoderJointNoEncProj,
        jointNoEncProjBatched,
    };
    enum class Form { compiled, package };
    using EncoderOutputs = MultilingualEncoderOutputs;
    using TokenScript = std::function<std::int64_t(const testsupport::ScriptedKernel::Call& call)>;

    // The geometry of the models follows the metadata ("{}" gives the built-in 1120 ms geometry).
    explicit MultilingualTestVariant(nlohmann::json metadata = nlohmann::json::object());

    const std::filesystem::path& folder() const { return folder_.path(); }

    // Writes the model's bundle (or package). The encoder may declare a state; the batched joint's
    // "encoder_proj" input takes the given shape.
    void add(Model model, Form form = Form::compiled);
    void addEncoder(const EncoderOutputs& outputs);
    void addStatefulEncoder(const EncoderOutputs& outputs = {});
    void addBatchedJoint(const std::vector<std::size_t>& encoderProjShape);

    // The token a decoding model (the joint for the bare pair) answers at each prediction.
    void emit(Model model, TokenScript script);
    // The model, added after this call, neither declares nor answers the output.
    void omitOutput(Model model, const std::string& name);
    // The token the batched joint answers for each row of the window, as one-hot "logits" rows.
    void emitRows(std::function<std::int64_t(const testsupport::ScriptedKernel::Call& call, std::size_t row)> script);
    // Tokens in order, one per prediction, then blanks.
    void emitSequence(Model model, std::vector<std::int64_t> tokens);

    testsupport::ScriptedKernel& kernel(Model model) { return *kernels_.at(model); }
    // The bundle stems of the models, in the order their predictions ran (failed ones left out).
    std::vector<std::string> predictionOrder() const;

    // Bundle stem of a model: "encoder", "decoder_joint_argmax", ...
    static std::string stem(Model model);

private:
    struct Declared {
        std::vector<nlohmann::json> inputs;
        std::vector<nlohmann::json> outputs;
    };

    Declared declared(Model model) const;
    Declared declaredEncoder(const EncoderOutputs& outputs) const;
    void write(Model model, Declared declared, Form form, const std::vector<nlohmann::json>& states = {});
    testsupport::ScriptedKernel::Outputs answer(Model model, const testsupport::ScriptedKernel::Call& call);
    void answerRows(platform::ml::MultiArray& logits, const testsupport::ScriptedKernel::Call& call) const;
    static platform::ml::FeatureValue answerFeature(const nlohmann::json& output, std::int64_t token,
                                                    std::size_t callIndex);

    nlohmann::json metadata_;
    testsupport::TemporaryFolder folder_;
    std::map<Model, std::unique_ptr<testsupport::ScriptedKernel>> kernels_;
    std::map<Model, std::vector<nlohmann::json>> outputs_;
    std::map<Model, TokenScript> scripts_;
    std::function<std::int64_t(const testsupport::ScriptedKernel::Call&, std::size_t)> rowScript_;
    std::map<Model, std::set<std::string>> omitted_;
    mutable std::mutex mutex_;
    std::vector<std::string> order_;
};

} // namespace quorl
