#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/TtsCacheDirectory.hpp"
#include "platform/sys/Environment.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace quorl {

// Where the grapheme-to-phoneme models find their files and what they read of the process environment. The
// process-wide models use the defaults; tests give their own cache root and variables.
struct G2PModelEnvironment {
    // The synthesis cache root; its errors reach the model's caller unchanged.
    std::function<std::filesystem::path()> cacheRoot = TtsCacheDirectory::ensure;
    // A variable's value when it is set.
    std::function<std::optional<std::string>(const std::string& name)> variable = platform::sys::environmentValue;

    // "<cache root>/Models/kokoro", where the models' bundles and vocabulary lie.
    std::filesystem::path modelFolder() const;
    // Runs the load and answers true. When it throws on a build machine ("CI" set, to any value), where the
    // models are never fetched, the error is dropped: `logger` warns with `warning` and the answer is false.
    // Elsewhere the error reaches the caller.
    bool loadUnlessExcused(const std::function<void()>& load, const AppLogger& logger,
                           const std::string& warning) const;
};

} // namespace quorl
