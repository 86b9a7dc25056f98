#pragma once

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"

#include "platform/ml/DataType.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/Kernel.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelState.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Transducer models that cost next to nothing, so that a benchmark measures the recogniser's own work around
// the predictions: kernels that answer at once, and the bundles that bind them to the runtime.
namespace benchsupport {

inline constexpr std::size_t projectionSize = 640;
// One model window: fifteen seconds at 16 kHz, and the encoder frames it makes.
inline constexpr std::size_t windowSamples = 240000;
inline constexpr std::size_t windowFrames = 188;

// A preprocessor that hands the same small mel array on, whatever audio it is given.
class TrivialPreprocessor : public platform::ml::Kernel {
public:
    TrivialPreprocessor();

    std::map<std::string, platform::ml::FeatureValue> predict(const platform::ml::FeatureProvider& input,
                                                              platform::ml::ModelState* state,
                                                              const platform::ml::PredictionOptions& options) override;

private:
    std::shared_ptr<platform::ml::MultiArray> mel_;
    std::shared_ptr<platform::ml::MultiArray> melLength_;
};

// An encoder, or a fused front end, that returns one prepared window of frames `hiddenSize` wide and declares
// `validFrames` of them valid. Given a delay, it first takes that long per call, as a real encoder would.
class TrivialEncoder : public platform::ml::Kernel {
public:
    TrivialEncoder(std::size_t hiddenSize, int validFrames, std::chrono::milliseconds delay);

    std::map<std::string, platform::ml::FeatureValue> predict(const platform::ml::FeatureProvider& input,
                                                              platform::ml::ModelState* state,
                                                              const platform::ml::PredictionOptions& options) override;

private:
    std::shared_ptr<platform::ml::MultiArray> encoder_;
    std::shared_ptr<platform::ml::MultiArray> length_;
    std::chrono::milliseconds delay_;
};

// A decoder with a fixed projection that leaves the recurrent state in the caller's backings.
class TrivialDecoder : public platform::ml::Kernel {
public:
    std::map<std::string, platform::ml::FeatureValue> predict(const platform::ml::FeatureProvider& input,
                                                              platform::ml::ModelState* state,
                                                              const platform::ml::PredictionOptions& options) override;

private:
    std::shared_ptr<platform::ml::MultiArray> projection_ = std::make_shared<platform::ml::MultiArray>(
        platform::ml::MultiArray::Shape{1, 1, projectionSize}, platform::ml::DataType::float32);
};

// A joint model that writes one fixed answer (the token, probability 0.9, a duration of one frame) straight
// into the caller's backings, so the runtime copies nothing, and returns them; into a reused result, it
// allocates nothing.
class TrivialJoint : public platform::ml::Kernel {
public:
    explicit TrivialJoint(int token) : token_(token) {}

    std::map<std::string, platform::ml::FeatureValue> predict(const platform::ml::FeatureProvider& input,
                                                              platform::ml::ModelState* state,
                                                              const platform::ml::PredictionOptions& options) override;
    void predictInto(const platform::ml::FeatureProvider& input, platform::ml::ModelState* state,
                     const platform::ml::PredictionOptions& options,
                     std::map<std::string, platform::ml::FeatureValue>& outputs) override;

private:
    int token_;
};

// A multi-array feature of "model.json".
nlohmann::json feature(const std::string& name, const std::vector<std::size_t>& shape,
                       platform::ml::DataType dataType = platform::ml::DataType::float32);
// A "model.json" naming the kernel, its inputs and its outputs.
nlohmann::json manifest(const std::string& kernel, const nlohmann::json& inputs, const nlohmann::json& outputs);
// The decoder's features: "targets", "target_length", "h_in", "c_in" to "decoder", "h_out", "c_out".
nlohmann::json decoderManifest(const std::string& kernel, std::size_t layers);
// The joint network's features: "encoder_step", "decoder_step" to "token_id", "token_prob", "duration".
nlohmann::json jointManifest(const std::string& kernel, std::size_t encoderHiddenSize);

// A folder of bundles under the temporary folder, named with the prefix and the process id so that parallel
// runs do not meet, and removed with the object.
class BundleFolder {
public:
    explicit BundleFolder(const std::string& prefix);
    ~BundleFolder();
    BundleFolder(const BundleFolder&) = delete;
    BundleFolder& operator=(const BundleFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes the bundle `name` ("coremldata.bin" and the manifest as "model.json") and loads it.
    std::shared_ptr<platform::ml::Model> load(const std::string& name, const nlohmann::json& manifest) const;

private:
    std::filesystem::path path_;
};

// What sets one model set of trivial kernels apart.
struct TrivialModelSet {
    // A separate preprocessor and encoder, or one fused front end (tdtCtc110m); the version also gives the
    // frame width, the decoder's depth and the blank id, which the joint answers at every step.
    quorl::AsrModelVersion version;
    // The prefix of the set's kernel and bundle names, so that sets that differ do not replace one another.
    std::string name;
    // The encoder frames declared valid out of each window.
    int validFrames;
    // What the encoder (or the front end) takes per window.
    std::chrono::milliseconds encoderDelay;
};

// Registers the set's kernels, writes its bundles into the folder and returns them loaded.
quorl::AsrModels trivialModels(const BundleFolder& folder, const TrivialModelSet& set);

} // namespace benchsupport
