#include "tests/support/ScriptedKernel.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <mutex>
#include <utility>

namespace testsupport {

using namespace platform::ml;

namespace {

FeatureValue snapshotOf(const FeatureValue& value) {
    if (value.type() == FeatureType::multiArray && value.multiArrayValue() != nullptr) {
        return FeatureValue(testsupport::snapshotOf(*value.multiArrayValue()));
    }
    return value;
}

std::map<std::string, FeatureValue> snapshotOf(const FeatureProvider& input) {
    std::map<std::string, FeatureValue> features;
    for (const auto& name : input.featureNames()) {
        if (auto value = input.featureValue(name)) {
            features.emplace(name, snapshotOf(*value));
        }
    }
    return features;
}

} // namespace

class ScriptedKernel::Recorder {
public:
    explicit Recorder(Script script) : script_(std::move(script)) {}

    void load(const KernelContext& context) {
        std::lock_guard lock(mutex_);
        loads_.push_back(Load{
            .bundlePath = context.bundlePath,
            .configuration = context.configuration,
            .description = context.description,
        });
        if (loadFailure_) {
            std::rethrow_exception(loadFailure_);
        }
    }

    Outputs predict(const ModelConfiguration& configuration, const FeatureProvider& input, ModelState* state,
                    const PredictionOptions& options) {
        std::lock_guard lock(mutex_);
        calls_.push_back(Call{
            .index = calls_.size(),
            .inputs = snapshotOf(input),
            .options = options,
            .configuration = configuration,
            .state = state,
        });
        if (predictionFailure_) {
            std::rethrow_exception(predictionFailure_);
        }
        return script_ ? script_(calls_.back()) : Outputs{};
    }

    void failLoadsWith(std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        loadFailure_ = std::move(error);
    }

    void failPredictionsWith(std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        predictionFailure_ = std::move(error);
    }

    std::vector<Load> loads() const {
        std::lock_guard lock(mutex_);
        return loads_;
    }

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    Script script_;
    std::exception_ptr loadFailure_;
    std::exception_ptr predictionFailure_;
    std::vector<Load> loads_;
    std::vector<Call> calls_;
};

class ScriptedKernel::Instance : public Kernel {
public:
    Instance(std::shared_ptr<Recorder> recorder, ModelConfiguration configuration)
        : recorder_(std::move(recorder)), configuration_(std::move(configuration)) {}

    std::map<std::string, FeatureValue> predict(const FeatureProvider& input, ModelState* state,
                                                const PredictionOptions& options) override {
        return recorder_->predict(configuration_, input, state, options);
    }

private:
    std::shared_ptr<Recorder> recorder_;
    ModelConfiguration configuration_;
};

ScriptedKernel::ScriptedKernel(std::string name, Script script)
    : name_(std::move(name)), recorder_(std::make_shared<Recorder>(std::move(script))) {
    registerKernel(name_, [recorder = recorder_](const KernelContext& context) -> std::unique_ptr<Kernel> {
        recorder->load(context);
        return std::make_unique<Instance>(recorder, context.configuration);
    });
}

void ScriptedKernel::failLoadsWith(std::exception_ptr error) { recorder_->failLoadsWith(std::move(error)); }

void ScriptedKernel::failPredictionsWith(std::exception_ptr error) { recorder_->failPredictionsWith(std::move(error)); }

std::vector<ScriptedKernel::Load> ScriptedKernel::loads() const { return recorder_->loads(); }

std::vector<ScriptedKernel::Call> ScriptedKernel::calls() const { return recorder_->calls(); }

} // namespace testsupport
