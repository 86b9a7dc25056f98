#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelSelection.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSession.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSynthesis.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// The front door of PocketTTS for one language pack: initialised once (downloading and loading the models of
// its placement), it speaks text with a named or cloned voice as WAV data, a detailed result, a stream of
// frames, a file, or through a session fed piece by piece; and it clones voices from short recordings, which
// works without initialising. Synthesis before `initialize`, or after `cleanup`, fails with
// PocketTTSError::modelNotFound "PocketTTS model not initialized". Streams and sessions handed out keep working
// after `cleanup`. Safe to use from several threads; syntheses run outside the manager's lock.
class PocketTtsManager {
public:
    struct Request {
        std::string text;
        // None: the manager's default voice at the time of the call. Ignored by the forms given voice data.
        std::optional<std::string> voice{};
        float temperature = PocketTtsConstants::temperature;
        // Cut sibilants by 3 dB above 6 kHz after the rumble filter; not for streams.
        bool deEss = false;
        std::int64_t maxTokensPerChunk = PocketTtsConstants::maxTokensPerChunk;
    };

    struct SessionRequest {
        std::optional<std::string> voice{};
        float temperature = PocketTtsConstants::temperature;
        // None: a fresh seed for the session; a seed makes its noise repeatable.
        std::optional<std::uint64_t> seed{};
    };

    // Loads nothing; the selection's directory is the cache base (none: the synthesis cache root).
    explicit PocketTtsManager(PocketTtsModelSelection selection,
                              std::string defaultVoice = std::string(PocketTtsConstants::defaultVoice));

    PocketTtsLanguage language() const { return language_; }
    bool isAvailable() const;
    std::string defaultVoice() const;
    void setDefaultVoice(std::string voice);

    // Fetches and loads the models once; a later call finds them loaded. The store's errors pass through and
    // leave the manager as it was.
    void initialize();
    // Refuses synthesis again; keeps the models, so a later initialize loads nothing.
    void cleanup();

    // Every synthesis draws a fresh seed. A voice name the store does not have fails with the store's error.
    std::vector<std::uint8_t> synthesize(const Request& request);
    std::vector<std::uint8_t> synthesize(const Request& request, std::shared_ptr<const PocketTtsVoiceData> voiceData);
    PocketTtsSynthesizer::SynthesisResult synthesizeDetailed(const Request& request);
    PocketTtsSynthesizer::FrameStream synthesizeStreaming(const Request& request);
    PocketTtsSynthesizer::FrameStream synthesizeStreaming(const Request& request,
                                                          std::shared_ptr<const PocketTtsVoiceData> voiceData);
    std::shared_ptr<PocketTtsSession> makeSession(const SessionRequest& request);
    std::shared_ptr<PocketTtsSession> makeSession(const SessionRequest& request,
                                                  std::shared_ptr<const PocketTtsVoiceData> voiceData);
    // Synthesises first, then replaces the file atomically, so a failure leaves a file already there as it was.
    void synthesizeToFile(const Request& request, const std::filesystem::path& outputURL);

    // Whether the Mimi encoder lies in the cache beside the language packs; false before the pack's folder is
    // known. Fetches and loads nothing.
    bool isVoiceCloningAvailable() const;
    // Both fetch and load the encoder on first use.
    PocketTtsVoiceData cloneVoice(const std::filesystem::path& from);
    PocketTtsVoiceData cloneVoice(std::span<const float> from);
    // Saves the clone to `to`; a save failure is thrown and no voice is returned.
    PocketTtsVoiceData cloneVoiceToFile(const std::filesystem::path& from, const std::filesystem::path& to);
    static void saveClonedVoice(const PocketTtsVoiceData& voice, const std::filesystem::path& to);
    static PocketTtsVoiceData loadClonedVoice(const std::filesystem::path& from);

private:
    // Throws the "not initialized" error unless initialised.
    void requireInitialized() const;
    std::string chosenVoice(const Request& request) const;
    PocketTtsSynthesizer::SynthesisRequest synthesisRequest(const Request& request) const;
    std::shared_ptr<PocketTtsSession> buildSession(const SessionRequest& request,
                                                   std::shared_ptr<const PocketTtsVoiceData> voiceData);

    const AppLogger logger_{"PocketTtsManager"};
    const std::shared_ptr<PocketTtsModelStore> modelStore_;
    const PocketTtsLanguage language_;
    mutable std::mutex mutex_;
    std::string defaultVoice_;
    bool isInitialized_ = false;
};

} // namespace quorl
