#include "QuorlAudio/tts/frontend/TTSError.hpp"

#include "platform/core/Concatenated.hpp"

#include <utility>

namespace quorl {
namespace {

std::string describe(TTSError::Kind kind, const std::string& payload) {
    using platform::core::concatenated;
    switch (kind) {
    case TTSError::Kind::downloadFailed: return concatenated({"Download failed: ", payload});
    case TTSError::Kind::corruptedModel: return concatenated({"Model ", payload, " is corrupted"});
    case TTSError::Kind::modelNotFound: return concatenated({"Model ", payload, " not found"});
    case TTSError::Kind::processingFailed: return concatenated({"Processing failed: ", payload});
    }
    return payload;
}

} // namespace

TTSError::TTSError(Kind kind, std::string payload)
    : platform::core::Error(describe(kind, payload)), kind_(kind), payload_(std::move(payload)) {}

TTSError TTSError::downloadFailed(const std::string& text) { return TTSError(Kind::downloadFailed, text); }

TTSError TTSError::corruptedModel(const std::string& model) { return TTSError(Kind::corruptedModel, model); }

TTSError TTSError::modelNotFound(const std::string& model) { return TTSError(Kind::modelNotFound, model); }

TTSError TTSError::processingFailed(const std::string& reason) { return TTSError(Kind::processingFailed, reason); }

} // namespace quorl
