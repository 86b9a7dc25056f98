#pragma once

namespace platform::speech {

// Whether the user lets this process use speech recognition.
enum class SpeechAuthorizationStatus { notDetermined, denied, restricted, authorized };

} // namespace platform::speech
