#pragma once

#include "platform/core/Error.hpp"

#include <exception>
#include <filesystem>
#include <string>

namespace quorl {

// The one error of the Kokoro synthesiser, its asset downloader, its vocabulary and its English and Mandarin
// front ends. what() is the case's fixed description.
class KokoroAneError : public platform::core::Error {
public:
    enum class Kind {
        modelNotLoaded,
        downloadFailed,
        vocabMissing,
        vocabParseFailed,
        voicePackMissing,
        invalidVoicePack,
        phonemeSequenceTooLong,
        inputProcessingFailed,
        acousticFramesExceedCap,
        predictionFailed,
        unexpectedOutputShape,
        audioConversionFailed,
    };

    static KokoroAneError modelNotLoaded(const std::string& model);
    static KokoroAneError downloadFailed(const std::string& text);
    static KokoroAneError vocabMissing(const std::filesystem::path& file);
    static KokoroAneError vocabParseFailed(const std::filesystem::path& file, const std::string& reason);
    static KokoroAneError voicePackMissing(const std::filesystem::path& file);
    static KokoroAneError invalidVoicePack(const std::string& text);
    // The limit quoted is always maxPhonemeLength.
    static KokoroAneError phonemeSequenceTooLong(int characterCount);
    static KokoroAneError inputProcessingFailed(const std::string& text);
    static KokoroAneError acousticFramesExceedCap(int have, int cap);
    static KokoroAneError predictionFailed(const std::string& stage, const std::exception_ptr& underlying);
    static KokoroAneError unexpectedOutputShape(const std::string& stage, const std::string& expected,
                                                const std::string& got);
    static KokoroAneError audioConversionFailed(const std::string& text);

    Kind kind() const { return kind_; }
    // The failed stage's error; empty for every other case.
    const std::exception_ptr& underlying() const { return underlying_; }

private:
    KokoroAneError(Kind kind, const std::string& description, std::exception_ptr underlying = {});

    Kind kind_;
    std::exception_ptr underlying_;
};

} // namespace quorl
