#pragma once

#include <string>

namespace platform::speech {

// What a recogniser has heard so far in one utterance.
struct SpeechRecognitionResult {
    // The best transcription, formatted for display.
    std::string formattedString;
    // The recogniser is done with this utterance; nothing more comes from its task.
    bool isFinal = false;
};

} // namespace platform::speech
