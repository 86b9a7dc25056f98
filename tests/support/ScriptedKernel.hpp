#pragma once

#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/ml/ModelDescription.hpp"
#include "platform/ml/ModelState.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// A model kernel for tests: registered under a name on construction, it answers every prediction of every
// model loaded with that kernel by calling the test's script, and records each load and each call so tests
// can check which features, shapes, options, states, compute units and function names reached the runtime.
// It can be told to fail loads or predictions. Calls run one at a time, in the order they arrive.
class ScriptedKernel {
public:
    using Outputs = std::map<std::string, platform::ml::FeatureValue>;

    struct Load {
        std::filesystem::path bundlePath;
        platform::ml::ModelConfiguration configuration;
        platform::ml::ModelDescription description;
    };

    struct Call {
        // Position among all predictions of this kernel, from 0.
        std::size_t index;
        // The input features; arrays are copies taken when the call arrived, so later writes by the caller
        // do not change the record.
        std::map<std::string, platform::ml::FeatureValue> inputs;
        platform::ml::PredictionOptions options;
        // The configuration of the model that predicted (compute units, function name).
        platform::ml::ModelConfiguration configuration;
        // The caller's state in a stateful prediction, null otherwise; usable only while the script runs.
        platform::ml::ModelState* state;
    };

    // Computes a prediction's outputs; it may read and write the call's state.
    using Script = std::function<Outputs(const Call& call)>;

    // Registers the kernel; without a script every prediction returns no outputs.
    explicit ScriptedKernel(std::string name, Script script = {});

    const std::string& name() const { return name_; }

    // Loads (or predictions) from now on throw the error; a null error ends the failures.
    void failLoadsWith(std::exception_ptr error);
    void failPredictionsWith(std::exception_ptr error);

    std::vector<Load> loads() const;
    std::vector<Call> calls() const;

private:
    class Recorder;
    class Instance;

    std::string name_;
    std::shared_ptr<Recorder> recorder_;
};

} // namespace testsupport
