#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/ml/ModelDescription.hpp"
#include "platform/ml/ModelState.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace platform::ml {

// What a kernel learns about the model it implements when the model is loaded.
struct KernelContext {
    std::filesystem::path bundlePath;
    ModelDescription description;
    ModelConfiguration configuration;
};

// The implementation of a model: the runtime loads the bundle, checks the inputs of each prediction against
// the description, calls predict, and then writes the outputs into any output backings, so a kernel simply
// returns fresh values (it may also return a backing array it wrote itself). Errors it throws reach the
// caller unchanged.
//
// predict may run on several threads at once when callers share a model; a kernel keeps any mutable state
// of its own behind a lock. `state` is the caller's model state in a stateful prediction, null otherwise.
class Kernel {
public:
    virtual ~Kernel() = default;

    virtual std::map<std::string, FeatureValue> predict(const FeatureProvider& input, ModelState* state,
                                                        const PredictionOptions& options) = 0;

    // The same prediction written into `outputs`, a map the caller reuses from one prediction to the next and
    // that still holds the previous prediction's entries. A kernel that overrides this assigns each of its
    // outputs over the entry already there (and erases any it does not give), so that a prediction whose
    // arrays are the caller's backings allocates nothing. By default the map is replaced by predict's.
    virtual void predictInto(const FeatureProvider& input, ModelState* state, const PredictionOptions& options,
                             std::map<std::string, FeatureValue>& outputs) {
        outputs = predict(input, state, options);
    }
};

// Makes a kernel for one loaded model; may throw to refuse the load.
using KernelFactory = std::function<std::unique_ptr<Kernel>(const KernelContext& context)>;

} // namespace platform::ml
