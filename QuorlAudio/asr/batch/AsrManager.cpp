#include "QuorlAudio/asr/batch/AsrManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"
#include "QuorlAudio/asr/batch/ChunkProcessor.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"
#include "QuorlAudio/foundation/AudioSourceFactory.hpp"
#include "QuorlAudio/foundation/DiskBackedAudioSampleSource.hpp"
#include "QuorlAudio/foundation/MLArrayCache.hpp"

#include "platform/audio/AudioFile.hpp"
#include "platform/core/SecondsSince.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <cmath>
#include <exception>
#include <functional>
#include <utility>

namespace quorl {

namespace {

using platform::ml::DataType;
using platform::ml::Model;

constexpr int windowSamples = ASRConstants::maxModelSamples;

// The window's "audio_signal", the "audio_length" scalar and the decoder's recurrent state.
const std::vector<MLArrayCache::ShapeAndType>& prewarmedShapes() {
    static const std::vector<MLArrayCache::ShapeAndType> shapes{
        {{1, static_cast<std::size_t>(windowSamples)}, DataType::float32},
        {{1}, DataType::int32},
        {{2, 1, static_cast<std::size_t>(ASRConstants::decoderHiddenSize)}, DataType::float32},
    };
    return shapes;
}

// The length of the file at `targetRate`, rounded up.
std::int64_t estimatedSamples(const std::filesystem::path& url, int targetRate) {
    const platform::audio::AudioFile file(url);
    const double ratio = static_cast<double>(targetRate) / file.processingFormat().sampleRate();
    return static_cast<std::int64_t>(std::ceil(ratio * static_cast<double>(file.length())));
}

// Removes the temporary sample file of a disk-backed source when the transcription leaves, however it leaves.
class SampleFileRemoval {
public:
    explicit SampleFileRemoval(const DiskBackedAudioSampleSource& source) : source_(source) {}
    ~SampleFileRemoval() { source_.cleanup(); }
    SampleFileRemoval(const SampleFileRemoval&) = delete;
    SampleFileRemoval& operator=(const SampleFileRemoval&) = delete;

private:
    const DiskBackedAudioSampleSource& source_;
};

// Runs the transcription inside a progress session when `reportsProgress`: one is made sure to be open before,
// and it is finished after success or failed with the error. Otherwise the emitter is not touched.
ASRResult inProgressSession(ProgressEmitter& emitter, bool reportsProgress,
                            const std::function<ASRResult()>& transcription) {
    if (!reportsProgress) {
        return transcription();
    }
    emitter.ensureSession();
    try {
        ASRResult result = transcription();
        emitter.finishSession();
        return result;
    } catch (...) {
        emitter.failSession(std::current_exception());
        throw;
    }
}

} // namespace

std::shared_ptr<AsrManager> AsrManager::create(ASRConfig config, std::optional<AsrModels> models) {
    return std::make_shared<AsrManager>(Passkey(), std::move(config), std::move(models));
}

AsrManager::AsrManager(Passkey, ASRConfig config, std::optional<AsrModels> models)
    : logger_("ASR"), config_(std::move(config)), progressEmitter_(std::make_shared<ProgressEmitter>()),
      windowInference_(std::make_unique<AsrWindowInference>(logger_, config_)) {
    if (models) {
        windowInference_->bind(*models);
    }
    backgroundTasks_.start([] { sharedMLArrayCache().prewarm(prewarmedShapes()); });
    backgroundTasks_.start([emitter = progressEmitter_] { emitter->ensureSession(); });
}

AsrManager::~AsrManager() = default;

AsrWindowInference& AsrManager::windowInference() const { return *windowInference_; }

std::shared_ptr<AsrManager> AsrManager::makeWorkerClone() const {
    auto models = windowInference_->asrModels();
    return models ? create(config_, std::move(models)) : nullptr;
}

ProgressEmitter::Stream AsrManager::transcriptionProgressStream() { return progressEmitter_->ensureSession(); }

void AsrManager::loadModels(const AsrModels& models) {
    logger_.info("Loading AsrManager with provided models");
    windowInference_->bind(models);
    logger_.info("AsrManager loaded successfully with provided models");
}

void AsrManager::reset() {
    backgroundTasks_.start([] { sharedMLArrayCache().clear(); });
}

void AsrManager::cleanup() {
    windowInference_->unbind();
    backgroundTasks_.start([] { sharedMLArrayCache().clear(); });
    logger_.info("AsrManager resources cleaned up");
}

ASRResult AsrManager::transcribe(const platform::audio::PCMBuffer& buffer, TdtDecoderState& decoderState,
                                 std::optional<Language> language) {
    return transcribe(audioConverter_.resampleBuffer(buffer), decoderState, language);
}

ASRResult AsrManager::transcribe(const std::filesystem::path& url, TdtDecoderState& decoderState,
                                 std::optional<Language> language) {
    if (config_.streamingEnabled && estimatedSamples(url, config_.sampleRate) > config_.streamingThreshold) {
        return transcribeDiskBacked(url, decoderState, language);
    }
    return transcribe(audioConverter_.resampleAudioFile(url), decoderState, language);
}

ASRResult AsrManager::transcribeDiskBacked(const std::filesystem::path& url, TdtDecoderState&,
                                           std::optional<Language> language) {
    if (!windowInference_->isAvailable()) {
        throw ASRError::notInitialized();
    }
    const auto startTime = Clock::now();
    const auto source = std::make_shared<const DiskBackedAudioSampleSource>(
        AudioSourceFactory().makeDiskBackedSource(url, config_.sampleRate).source);
    const SampleFileRemoval removal(*source);
    const std::int64_t sampleCount = source->sampleCount();
    if (sampleCount < ASRConstants::minimumRequiredSamples(config_.sampleRate)) {
        throw ASRError::invalidAudioData();
    }
    return inProgressSession(*progressEmitter_, sampleCount > windowSamples, [&] {
        return transcribeWithChunker(source, sampleCount, startTime, progressHandler(), language);
    });
}

ASRResult AsrManager::transcribe(std::vector<float> samples, TdtDecoderState& decoderState,
                                 std::optional<Language> language) {
    const bool reportsProgress = samples.size() > static_cast<std::size_t>(windowSamples);
    return inProgressSession(*progressEmitter_, reportsProgress,
                             [&] { return transcribeWithState(std::move(samples), decoderState, language); });
}

ASRResult AsrManager::transcribeWithState(std::vector<float> samples, TdtDecoderState& decoderState,
                                          std::optional<Language> language) {
    if (!windowInference_->isAvailable()) {
        throw ASRError::notInitialized();
    }
    if (samples.size() < static_cast<std::size_t>(ASRConstants::minimumRequiredSamples(config_.sampleRate))) {
        throw ASRError::invalidAudioData();
    }
    const auto startTime = Clock::now();
    if (samples.size() > static_cast<std::size_t>(windowSamples)) {
        const auto totalSamples = static_cast<std::int64_t>(samples.size());
        auto source = std::make_shared<const ArrayAudioSampleSource>(std::move(samples));
        return transcribeWithChunker(std::move(source), totalSamples, startTime, progressHandler(), language);
    }
    return transcribeOneWindow(samples, decoderState, language, startTime);
}

ASRResult AsrManager::transcribeOneWindow(std::span<const float> samples, TdtDecoderState& decoderState,
                                          std::optional<Language> language, Clock::time_point startTime) {
    const std::size_t sampleCount = samples.size();
    const auto alignedLength = static_cast<int>(AsrWindowInference::frameAlignedLength(sampleCount, true));
    const AsrWindowInference::InferenceResult inference = windowInference_->executeMLInferenceWithTimings({
        .samples = samples,
        .originalLength = alignedLength,
        .paddedLength = static_cast<std::size_t>(windowSamples),
        .context = {.decoderState = decoderState,
                    .contextFrameAdjustment = 0,
                    .isLastChunk = true,
                    .globalFrameOffset = 0,
                    .language = language},
    });
    const double processingTime = platform::core::secondsSince(startTime);
    const TdtHypothesis& hypothesis = inference.hypothesis;
    const AsrTokenText tokenText = windowInference_->tokenText();
    std::string text = tokenText.convertTokensToText(hypothesis.ySequence);
    auto tokenTimings = tokenText.createTokenTimings(hypothesis.ySequence, hypothesis.timestamps,
                                                     hypothesis.tokenConfidences, hypothesis.tokenDurations);
    const float confidence =
        tokenText.calculateConfidence(static_cast<int>(hypothesis.ySequence.size()),
                                      platform::text::isAllWhiteSpaceAndLineBreaks(text), hypothesis.tokenConfidences);
    return ASRResult{
        .text = std::move(text),
        .confidence = confidence,
        .duration = static_cast<double>(sampleCount) / config_.sampleRate,
        .processingTime = processingTime,
        .tokenTimings = std::move(tokenTimings),
        .performanceMetrics = std::nullopt,
        .ctcDetectedTerms = std::nullopt,
        .ctcAppliedTerms = std::nullopt,
    };
}

ASRResult AsrManager::transcribeWithChunker(std::shared_ptr<const AudioSampleSource> source, std::int64_t totalSamples,
                                            Clock::time_point startTime, const ProgressHandler& progressHandler,
                                            std::optional<Language> language) {
    const ChunkProcessor chunker{
        .sampleSource = std::move(source),
        .totalSamples = totalSamples,
        .logger = AppLogger("ChunkProcessor"),
        .overlapSeconds = 2.0,
        .melContextSamples = ASRConstants::samplesPerEncoderFrame,
        .noMelWarmupPrefixFrames = 0,
    };
    return chunker.process(shared_from_this(), startTime, progressHandler, language);
}

AsrManager::ProgressHandler AsrManager::progressHandler() {
    return [manager = weak_from_this()](double progress) {
        if (const auto strong = manager.lock()) {
            strong->progressEmitter_->report(progress);
        }
    };
}

} // namespace quorl
