#include "platform/ml/CompileModel.hpp"

#include "platform/core/UUID.hpp"
#include "platform/ml/MessageText.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/ModelManifest.hpp"

#include <fstream>
#include <string>
#include <system_error>

namespace platform::ml {

namespace {

constexpr const char* compiledDataName = "coremldata.bin";

// A new, empty folder in `parent`; create_directory refuses an existing name, so concurrent compilations of
// the same package never share a folder.
std::filesystem::path createOutputFolder(const std::filesystem::path& parent,
                                         const std::filesystem::path& packagePath) {
    for (;;) {
        auto name = concat({".", packagePath.stem().string(), "-", core::UUID::random().uuidString(), ".mlmodelc"});
        auto folder = parent / name;
        if (std::filesystem::create_directory(folder)) {
            return folder;
        }
    }
}

bool isUnwritable(const std::error_code& error) {
    return error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
           error == std::errc::read_only_file_system;
}

// Beside the package, so the caller can rename the bundle into place; in the temporary folder when the
// package's folder cannot be written (a read-only model folder still loads, it is just compiled every time).
std::filesystem::path createOutputFolder(const std::filesystem::path& packagePath) {
    try {
        return createOutputFolder(packagePath.parent_path(), packagePath);
    } catch (const std::filesystem::filesystem_error& error) {
        if (!isUnwritable(error.code())) {
            throw;
        }
    }
    return createOutputFolder(std::filesystem::temp_directory_path(), packagePath);
}

void writeCompiledModel(const std::filesystem::path& packagePath, const std::filesystem::path& output) {
    std::filesystem::copy(packagePath, output, std::filesystem::copy_options::recursive);
    if (!std::filesystem::exists(output / compiledDataName)) {
        std::ofstream data(output / compiledDataName, std::ios::binary);
        if (!data) {
            throw ModelError::compilationFailed(packagePath.string(), concat({"cannot write ", compiledDataName}));
        }
    }
}

} // namespace

std::filesystem::path compileModel(const std::filesystem::path& packagePath) {
    if (!std::filesystem::is_directory(packagePath)) {
        throw ModelError::bundleNotFound(packagePath.string());
    }
    if (packagePath.extension() != ".mlpackage") {
        throw ModelError::compilationFailed(packagePath.string(), "not a \".mlpackage\" folder");
    }
    ModelManifest::read(packagePath);
    std::filesystem::path output;
    try {
        output = createOutputFolder(packagePath);
    } catch (const std::filesystem::filesystem_error& error) {
        throw ModelError::compilationFailed(packagePath.string(), error.what());
    }
    try {
        writeCompiledModel(packagePath, output);
    } catch (const std::filesystem::filesystem_error& error) {
        std::filesystem::remove_all(output);
        throw ModelError::compilationFailed(packagePath.string(), error.what());
    } catch (...) {
        std::filesystem::remove_all(output);
        throw;
    }
    return output;
}

} // namespace platform::ml
