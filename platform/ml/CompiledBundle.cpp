#include "platform/ml/CompiledBundle.hpp"

#include "platform/ml/CompileModel.hpp"

#include <system_error>

namespace platform::ml {

CompiledBundle::CompiledBundle(const std::filesystem::path& packagePath) : path_(compileModel(packagePath)) {}

CompiledBundle::~CompiledBundle() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace platform::ml
