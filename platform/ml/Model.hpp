#pragma once

#include "platform/ml/BatchProvider.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/Kernel.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/ml/ModelDescription.hpp"
#include "platform/ml/ModelState.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <filesystem>
#include <memory>

namespace platform::ml {

// A loaded model: a compiled bundle (a ".mlmodelc" folder holding "coremldata.bin" and "model.json") bound
// to the kernel that implements it. Predictions may run from several threads at once.
class Model {
public:
    // Loads the bundle with the configuration. Throws ModelError when the folder is missing, is an
    // uncompiled package, lacks one of its files, has a broken "model.json", names an unknown kernel or
    // function, or its kernel library cannot be opened; a kernel's own refusal is passed on unchanged.
    static std::shared_ptr<Model> load(const std::filesystem::path& bundlePath,
                                       const ModelConfiguration& configuration = {});

    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    const ModelDescription& description() const { return description_; }
    const ModelConfiguration& configuration() const { return configuration_; }

    // One prediction. Every required input must be present with an accepted type and shape (ModelError
    // otherwise); outputs with a backing in the options are written into it and returned as that array.
    std::shared_ptr<const FeatureProvider> predict(const FeatureProvider& input,
                                                   const PredictionOptions& options = {}) const;
    // A prediction that reads and updates the state; the state must hold every state the model declares.
    std::shared_ptr<const FeatureProvider> predict(const FeatureProvider& input, ModelState& state,
                                                   const PredictionOptions& options = {}) const;
    // One prediction whose outputs replace those in `result`, which the caller keeps from one prediction to the
    // next, with the same checks and backings as predict. With a kernel that writes its outputs over the
    // result's entries and hands the backings back (Kernel::predictInto), it allocates nothing. After a
    // failure the result's contents are unspecified.
    void predictInto(const FeatureProvider& input, const PredictionOptions& options,
                     DictionaryFeatureProvider& result) const;
    // One prediction per provider, results in batch order. Output backings would make every result share
    // one array, so a batch refuses them.
    std::shared_ptr<const BatchProvider> predictions(const BatchProvider& batch,
                                                     const PredictionOptions& options = {}) const;

    // A new state holding a zero-filled buffer for each declared state. Throws ModelError when stateful
    // models are not supported or the model declares no state.
    std::shared_ptr<ModelState> makeState() const;

private:
    Model(ModelDescription description, ModelConfiguration configuration, std::unique_ptr<Kernel> kernel);

    std::shared_ptr<const FeatureProvider> run(const FeatureProvider& input, ModelState* state,
                                               const PredictionOptions& options) const;
    void checkInputs(const FeatureProvider& input) const;

    ModelDescription description_;
    ModelConfiguration configuration_;
    std::unique_ptr<Kernel> kernel_;
};

} // namespace platform::ml
