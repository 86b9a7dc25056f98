#include "platform/ml/ModelError.hpp"

#include "platform/ml/MessageText.hpp"

namespace platform::ml {

ModelError::ModelError(Kind kind, const std::string& description) : Error(description), kind_(kind) {}

ModelError ModelError::bundleNotFound(const std::string& path) {
    return ModelError(Kind::bundleNotFound, concat({"Model bundle not found at ", path}));
}

ModelError ModelError::invalidBundle(const std::string& path, const std::string& reason) {
    return ModelError(Kind::invalidBundle, concat({"Invalid model bundle at ", path, ": ", reason}));
}

ModelError ModelError::unknownKernel(const std::string& kernel, const std::string& path) {
    return ModelError(Kind::unknownKernel,
                      concat({"No model kernel named \"", kernel, "\" is registered (model bundle ", path, ")"}));
}

ModelError ModelError::unknownFunction(const std::string& function, const std::string& path) {
    return ModelError(Kind::unknownFunction,
                      concat({"Model bundle ", path, " has no function named \"", function, "\""}));
}

ModelError ModelError::kernelLibraryFailed(const std::string& library, const std::string& reason) {
    return ModelError(Kind::kernelLibraryFailed, concat({"Cannot load kernel library ", library, ": ", reason}));
}

ModelError ModelError::compilationFailed(const std::string& path, const std::string& reason) {
    return ModelError(Kind::compilationFailed, concat({"Cannot compile model package ", path, ": ", reason}));
}

ModelError ModelError::invalidInput(const std::string& name, const std::string& reason) {
    return ModelError(Kind::invalidInput, concat({"Model input \"", name, "\" ", reason}));
}

ModelError ModelError::invalidOutputBacking(const std::string& name, const std::string& reason) {
    return ModelError(Kind::invalidOutputBacking, concat({"Output backing \"", name, "\" ", reason}));
}

ModelError ModelError::statefulModelsUnsupported() {
    return ModelError(Kind::statefulModelsUnsupported, "Stateful models are not supported on this system");
}

ModelError ModelError::invalidState(const std::string& reason) {
    return ModelError(Kind::invalidState, concat({"Invalid model state: ", reason}));
}

ModelError ModelError::invalidArray(const std::string& reason) {
    return ModelError(Kind::invalidArray, concat({"Invalid multi-array: ", reason}));
}

} // namespace platform::ml
