#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace platform::ml {

// Every failure of the machine-learning runtime: loading, compiling, predicting and array access. what() is a
// readable sentence naming the bundle, feature, kernel or state involved; callers pass it on unchanged.
class ModelError : public core::Error {
public:
    enum class Kind {
        bundleNotFound,
        invalidBundle,
        unknownKernel,
        unknownFunction,
        kernelLibraryFailed,
        compilationFailed,
        invalidInput,
        invalidOutputBacking,
        statefulModelsUnsupported,
        invalidState,
        invalidArray,
    };

    static ModelError bundleNotFound(const std::string& path);
    static ModelError invalidBundle(const std::string& path, const std::string& reason);
    static ModelError unknownKernel(const std::string& kernel, const std::string& path);
    static ModelError unknownFunction(const std::string& function, const std::string& path);
    static ModelError kernelLibraryFailed(const std::string& library, const std::string& reason);
    static ModelError compilationFailed(const std::string& path, const std::string& reason);
    static ModelError invalidInput(const std::string& name, const std::string& reason);
    static ModelError invalidOutputBacking(const std::string& name, const std::string& reason);
    static ModelError statefulModelsUnsupported();
    static ModelError invalidState(const std::string& reason);
    static ModelError invalidArray(const std::string& reason);

    Kind kind() const { return kind_; }

private:
    ModelError(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace platform::ml
