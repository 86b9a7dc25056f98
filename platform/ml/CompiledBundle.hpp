#pragma once

#include <filesystem>

namespace platform::ml {

// A bundle compiled from a package only to be loaded: it is removed when the object goes away, so the
// package's folder never keeps the hidden copy compileModel leaves beside it. A loaded model no longer needs
// its bundle.
class CompiledBundle {
public:
    // Compiles the package; throws as compileModel does.
    explicit CompiledBundle(const std::filesystem::path& packagePath);
    ~CompiledBundle();
    CompiledBundle(const CompiledBundle&) = delete;
    CompiledBundle& operator=(const CompiledBundle&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace platform::ml
