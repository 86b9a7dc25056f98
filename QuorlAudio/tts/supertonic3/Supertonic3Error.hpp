#pragma once

#include "platform/core/Error.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace quorl {

// The one error of the Supertonic-3 synthesiser, its model store, its voice styles and its text processor.
// what() is the case's fixed description.
class Supertonic3Error : public platform::core::Error {
public:
    enum class Kind {
        modelFileNotFound,
        corruptedModel,
        downloadFailed,
        unsupportedLanguage,
        voiceStyleLoadFailed,
        voiceStyleShapeMismatch,
        unicodeIndexerLoadFailed,
        configLoadFailed,
        textTooLong,
        inferenceFailed,
        invalidTensorShape,
        notInitialized,
        emptyText,
    };

    static Supertonic3Error modelFileNotFound(const std::string& name);
    static Supertonic3Error corruptedModel(const std::string& name, const std::string& underlying);
    static Supertonic3Error downloadFailed(const std::string& message);
    static Supertonic3Error unsupportedLanguage(const std::string& code);
    static Supertonic3Error voiceStyleLoadFailed(const std::string& path, const std::string& underlying);
    static Supertonic3Error voiceStyleShapeMismatch(const std::string& component,
                                                    const std::vector<std::int64_t>& expected,
                                                    const std::vector<std::int64_t>& got);
    static Supertonic3Error unicodeIndexerLoadFailed(const std::string& message);
    static Supertonic3Error configLoadFailed(const std::string& message);
    static Supertonic3Error textTooLong(int charCount, int maxLength);
    static Supertonic3Error inferenceFailed(const std::string& stage, const std::string& underlying);
    static Supertonic3Error invalidTensorShape(const std::string& stage, const std::string& expected,
                                               const std::string& got);
    static Supertonic3Error notInitialized();
    static Supertonic3Error emptyText();

    Kind kind() const { return kind_; }

private:
    Supertonic3Error(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace quorl
