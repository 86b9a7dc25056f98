#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// The one error of the StyleTTS2 synthesiser, its model store and its downloader. what() is the case's fixed
// description.
class StyleTTS2Error : public platform::core::Error {
public:
    enum class Kind {
        modelFileNotFound,
        corruptedModel,
        downloadFailed,
        unsupportedReferenceAudio,
        textTooLong,
        noBucketAvailable,
        phonemizationFailed,
        inferenceFailed,
        invalidTensorShape,
        notInitialized,
    };

    static StyleTTS2Error modelFileNotFound(const std::string& name);
    static StyleTTS2Error corruptedModel(const std::string& name, const std::string& underlying);
    static StyleTTS2Error downloadFailed(const std::string& message);
    static StyleTTS2Error unsupportedReferenceAudio(const std::string& message);
    static StyleTTS2Error textTooLong(int tokenCount, int maxLength);
    static StyleTTS2Error noBucketAvailable(int tokenCount);
    static StyleTTS2Error phonemizationFailed(const std::string& message);
    static StyleTTS2Error inferenceFailed(const std::string& stage, const std::string& underlying);
    static StyleTTS2Error invalidTensorShape(const std::string& stage, const std::string& expected,
                                             const std::string& got);
    static StyleTTS2Error notInitialized();

    Kind kind() const { return kind_; }

private:
    StyleTTS2Error(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace quorl
