#include "platform/ml/Model.hpp"

#include "platform/ml/ArrayBatchProvider.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/KernelLibrary.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/MessageText.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/ModelManifest.hpp"
#include "platform/ml/MultiArrayCopy.hpp"
#include "platform/ml/StatefulModels.hpp"

#include <algorithm>
#include <utility>

namespace platform::ml {

namespace {

constexpr const char* compiledDataName = "coremldata.bin";

void checkBundleFolder(const std::filesystem::path& bundlePath) {
    if (!std::filesystem::is_directory(bundlePath)) {
        throw ModelError::bundleNotFound(bundlePath.string());
    }
    if (bundlePath.extension() == ".mlpackage") {
        throw ModelError::invalidBundle(bundlePath.string(), "a model package must be compiled before loading");
    }
    if (!std::filesystem::exists(bundlePath / compiledDataName)) {
        throw ModelError::invalidBundle(bundlePath.string(), concat({"missing \"", compiledDataName, "\""}));
    }
}

KernelFactory factoryFor(const ModelManifest& manifest, const std::filesystem::path& bundlePath) {
    if (manifest.library) {
        const std::filesystem::path library(*manifest.library);
        loadKernelLibrary(library.is_absolute() ? library : bundlePath / library);
    }
    auto factory = kernelFactory(manifest.kernel);
    if (!factory) {
        throw ModelError::unknownKernel(manifest.kernel, bundlePath.string());
    }
    return *factory;
}

void checkMultiArrayInput(const FeatureDescription& description, const FeatureValue& value) {
    const auto array = value.multiArrayValue();
    if (array == nullptr) {
        throw ModelError::invalidInput(description.name, "holds no array");
    }
    const auto& constraint = *description.multiArrayConstraint;
    if (!constraint.accepts(array->shape())) {
        throw ModelError::invalidInput(description.name, concat({"has shape ", shapeText(array->shape()),
                                                                 ", the model expects ", shapeText(constraint.shape)}));
    }
}

void checkInput(const FeatureDescription& description, const FeatureProvider& input) {
    const auto value = input.featureValue(description.name);
    if (!value) {
        if (!description.isOptional) {
            throw ModelError::invalidInput(description.name, "is missing");
        }
        return;
    }
    if (value->type() != description.type) {
        throw ModelError::invalidInput(
            description.name,
            concat({"is a ", rawValue(value->type()), ", the model expects a ", rawValue(description.type)}));
    }
    if (description.type == FeatureType::multiArray) {
        checkMultiArrayInput(description, *value);
    }
}

void checkState(const ModelDescription& description, const ModelState& state) {
    if (!statefulModelsSupported()) {
        throw ModelError::statefulModelsUnsupported();
    }
    if (description.stateDescriptionsByName.empty()) {
        throw ModelError::invalidState("the model declares no state");
    }
    const auto names = state.stateNames();
    for (const auto& [name, stateDescription] : description.stateDescriptionsByName) {
        if (!names.contains(name)) {
            throw ModelError::invalidState(concat({"the state has no buffer \"", name, "\""}));
        }
        const auto& constraint = *stateDescription.multiArrayConstraint;
        state.withMultiArray(name, [&](const MultiArray& buffer) {
            if (buffer.shape() != constraint.shape || buffer.dataType() != constraint.dataType) {
                throw ModelError::invalidState(concat({"buffer \"", name, "\" does not match the model"}));
            }
        });
    }
}

// Zero-filled, dense or laid out with the padded strides the state declares.
std::shared_ptr<MultiArray> stateBuffer(const MultiArrayConstraint& constraint) {
    if (constraint.stateStrides.empty() || std::ranges::find(constraint.shape, 0U) != constraint.shape.end()) {
        return std::make_shared<MultiArray>(constraint.shape, constraint.dataType);
    }
    std::size_t lastElement = 0;
    for (std::size_t index = 0; index < constraint.shape.size(); ++index) {
        lastElement += (constraint.shape[index] - 1) * constraint.stateStrides[index];
    }
    const auto extent = std::max(constraint.stateStrides[0] * constraint.shape[0], lastElement + 1);
    const auto storage = std::make_shared<MultiArray>(MultiArray::Shape{extent}, constraint.dataType);
    return std::make_shared<MultiArray>(storage->storage(), storage->dataPointer(), constraint.shape,
                                        constraint.dataType, constraint.stateStrides);
}

bool sharesMemory(const MultiArray& first, const MultiArray& second) {
    const auto* firstStart = static_cast<const unsigned char*>(first.dataPointer());
    const auto* secondStart = static_cast<const unsigned char*>(second.dataPointer());
    const auto* firstEnd = firstStart + first.extent() * elementSize(first.dataType());
    const auto* secondEnd = secondStart + second.extent() * elementSize(second.dataType());
    return firstStart < secondEnd && secondStart < firstEnd;
}

std::shared_ptr<MultiArray> checkedProduct(const std::string& name, const std::shared_ptr<MultiArray>& backing,
                                           const std::map<std::string, FeatureValue>& outputs) {
    auto found = outputs.find(name);
    if (found == outputs.end() || found->second.multiArrayValue() == nullptr) {
        throw ModelError::invalidOutputBacking(name, "names no multi-array output of the model");
    }
    auto produced = found->second.multiArrayValue();
    if (backing == nullptr || backing->shape() != produced->shape() || backing->dataType() != produced->dataType()) {
        throw ModelError::invalidOutputBacking(
            name, concat({"must be ", rawValue(produced->dataType()), " ", shapeText(produced->shape())}));
    }
    return produced;
}

// A kernel may hand an input back as an output, and that input may be the backing of another output (a state
// written in place): it must be read before any backing is written, so such an output is copied aside first.
std::shared_ptr<MultiArray> readBeforeWrites(const std::string& name, std::shared_ptr<MultiArray> produced,
                                             const PredictionOptions& options) {
    for (const auto& [otherName, otherBacking] : options.outputBackings) {
        if (otherName != name && sharesMemory(*produced, *otherBacking)) {
            auto copy = std::make_shared<MultiArray>(produced->shape(), produced->dataType());
            copyElements(*produced, *copy);
            return copy;
        }
    }
    return produced;
}

// True when the kernel returned every backing itself as its output, so that nothing is left to copy.
bool writtenInPlace(const std::map<std::string, FeatureValue>& outputs, const PredictionOptions& options) {
    for (const auto& [name, backing] : options.outputBackings) {
        const auto found = outputs.find(name);
        if (backing == nullptr || found == outputs.end() || found->second.multiArrayValue() != backing) {
            return false;
        }
    }
    return true;
}

void writeBackings(std::map<std::string, FeatureValue>& outputs, const PredictionOptions& options) {
    if (writtenInPlace(outputs, options)) {
        return;
    }
    std::map<std::string, std::shared_ptr<MultiArray>> products;
    for (const auto& [name, backing] : options.outputBackings) {
        products.emplace(name, readBeforeWrites(name, checkedProduct(name, backing, outputs), options));
    }
    for (const auto& [name, backing] : options.outputBackings) {
        copyElements(*products.at(name), *backing);
        outputs.insert_or_assign(name, FeatureValue(backing));
    }
}

} // namespace

Model::Model(ModelDescription description, ModelConfiguration configuration, std::unique_ptr<Kernel> kernel)
    : description_(std::move(description)), configuration_(std::move(configuration)), kernel_(std::move(kernel)) {}

std::shared_ptr<Model> Model::load(const std::filesystem::path& bundlePath, const ModelConfiguration& configuration) {
    checkBundleFolder(bundlePath);
    const auto manifest = ModelManifest::read(bundlePath);
    auto description = manifest.descriptionOf(configuration.functionName, bundlePath);
    const auto factory = factoryFor(manifest, bundlePath);
    auto kernel = factory(KernelContext{
        .bundlePath = bundlePath,
        .description = description,
        .configuration = configuration,
    });
    if (kernel == nullptr) {
        throw ModelError::unknownKernel(manifest.kernel, bundlePath.string());
    }
    return std::shared_ptr<Model>(new Model(std::move(description), configuration, std::move(kernel)));
}

std::shared_ptr<const FeatureProvider> Model::predict(const FeatureProvider& input,
                                                      const PredictionOptions& options) const {
    return run(input, nullptr, options);
}

std::shared_ptr<const FeatureProvider> Model::predict(const FeatureProvider& input, ModelState& state,
                                                      const PredictionOptions& options) const {
    checkState(description_, state);
    return run(input, &state, options);
}

std::shared_ptr<const BatchProvider> Model::predictions(const BatchProvider& batch,
                                                        const PredictionOptions& options) const {
    if (!options.outputBackings.empty()) {
        throw ModelError::invalidOutputBacking(options.outputBackings.begin()->first,
                                               "cannot be used by a batch prediction");
    }
    std::vector<std::shared_ptr<const FeatureProvider>> results;
    results.reserve(batch.count());
    for (std::size_t index = 0; index < batch.count(); ++index) {
        results.push_back(run(*batch.features(index), nullptr, options));
    }
    return std::make_shared<ArrayBatchProvider>(std::move(results));
}

std::shared_ptr<ModelState> Model::makeState() const {
    if (!statefulModelsSupported()) {
        throw ModelError::statefulModelsUnsupported();
    }
    if (description_.stateDescriptionsByName.empty()) {
        throw ModelError::invalidState("the model declares no state");
    }
    std::map<std::string, std::shared_ptr<MultiArray>> buffers;
    for (const auto& [name, stateDescription] : description_.stateDescriptionsByName) {
        const auto& constraint = *stateDescription.multiArrayConstraint;
        buffers.emplace(name, stateBuffer(constraint));
    }
    return std::make_shared<ModelState>(std::move(buffers));
}

void Model::predictInto(const FeatureProvider& input, const PredictionOptions& options,
                        DictionaryFeatureProvider& result) const {
    checkInputs(input);
    kernel_->predictInto(input, nullptr, options, result.dictionary());
    writeBackings(result.dictionary(), options);
}

std::shared_ptr<const FeatureProvider> Model::run(const FeatureProvider& input, ModelState* state,
                                                  const PredictionOptions& options) const {
    checkInputs(input);
    auto outputs = kernel_->predict(input, state, options);
    writeBackings(outputs, options);
    return std::make_shared<DictionaryFeatureProvider>(std::move(outputs));
}

void Model::checkInputs(const FeatureProvider& input) const {
    for (const auto& entry : description_.inputDescriptionsByName) {
        checkInput(entry.second, input);
    }
}

} // namespace platform::ml
