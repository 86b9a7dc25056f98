#pragma once

#include "platform/core/Error.hpp"

#include <filesystem>
#include <string>

namespace quorl {

// Failures of assembling a transducer model set; each case carries only its description.
class AsrModelsError : public platform::core::Error {
public:
    enum class Kind { modelNotFound, downloadFailed, loadingFailed, modelCompilationFailed };

    static AsrModelsError modelNotFound(const std::string& name, const std::filesystem::path& location);
    static AsrModelsError downloadFailed(const std::string& message);
    static AsrModelsError loadingFailed(const std::string& message);
    static AsrModelsError modelCompilationFailed(const std::string& message);

    Kind kind() const { return kind_; }

private:
    AsrModelsError(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace quorl
