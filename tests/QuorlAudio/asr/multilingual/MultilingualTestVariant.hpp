#pragma once

#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorl {

// A multilingual variant folder written for a test: "metadata.json", "tokenizer.json" and the models the test
// adds, each run by a scripted kernel that answers zeros in its declared outputs and notes its name in the
// order of the predictions. The models declare the inputs the recogniser passes them, so the runtime checks
// every name, shape and type.
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

    // The geometry of the models follows the metadata ("{}" gives the built-in 1120 ms geometry).
    explicit MultilingualTestVariant(nlohmann::json metadata = nlohmann::json::object());

    const std::filesystem::path& folder() const { return folder_.path(); }

    // Writes the model's bundle (or package). The encoder may declare a state; the batched joint's
    // "encoder_proj" input takes the given shape.
    void add(Model model, Form form = Form::compiled);
    void addStatefulEncoder();
    void addBatchedJoint(const std::vector<std::size_t>& encoderProjShape);

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
    void write(Model model, const Declared& declared, Form form, const std::vector<nlohmann::json>& states = {});
    testsupport::ScriptedKernel::Outputs answer(Model model);

    nlohmann::json metadata_;
    testsupport::TemporaryFolder folder_;
    std::map<Model, std::unique_ptr<testsupport::ScriptedKernel>> kernels_;
    std::map<Model, std::vector<nlohmann::json>> outputs_;
    mutable std::mutex mutex_;
    std::vector<std::string> order_;
};

} // namespace quorl
