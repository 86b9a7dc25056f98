#include "QuorlAudio/diarization/streaming/LSEENDFeatureProvider.hpp"

#include "platform/dsp/Vector.hpp"

#include <algorithm>

namespace quorl {
namespace {

// 1 / ln 10 as the 32-bit float one step below the nearest one.
constexpr float log10Scale = 0.4342944622039795f;

const LSEENDMetadata& validated(const LSEENDMetadata& metadata) {
    metadata.validate();
    return metadata;
}

AudioMelSpectrogram melFrontEnd(const LSEENDMetadata& metadata) {
    return AudioMelSpectrogram(AudioMelSpectrogram::Options{
        .sampleRate = metadata.sampleRate,
        .nMels = metadata.nMels,
        .nFFT = metadata.nFFT(),
        .hopLength = metadata.hopLength,
        .winLength = metadata.winLength,
        .preemph = 0,
        .padTo = 1,
        .logFloor = 1e-10f,
        .logFloorMode = AudioMelSpectrogram::LogFloorMode::clamped,
        .windowPeriodic = true,
    });
}

std::vector<float> maskOf(const LSEENDMetadata& metadata) {
    std::vector<float> mask(static_cast<std::size_t>(metadata.convDelay), 0.0f);
    mask.insert(mask.end(), static_cast<std::size_t>(metadata.chunkSize), 1.0f);
    return mask;
}

StreamingChunkQueue audioQueueOf(const LSEENDMetadata& metadata) {
    const int halfWindow = metadata.nFFT() / 2;
    return StreamingChunkQueue(std::int64_t{metadata.chunkSize} * metadata.subsampling * metadata.hopLength, halfWindow,
                               halfWindow - metadata.hopLength, 1);
}

StreamingChunkQueue melQueueOf(const LSEENDMetadata& metadata) {
    return StreamingChunkQueue(std::int64_t{metadata.chunkSize} * metadata.subsampling, metadata.contextSize,
                               metadata.contextSize - metadata.subsampling + 1, metadata.nMels);
}

} // namespace

LSEENDFeatureProvider::LSEENDFeatureProvider(const LSEENDMetadata& metadata, std::optional<Snapshot> snapshot)
    : metadata_(validated(metadata)),
      flushSampleCount_(std::int64_t{metadata.hopLength} *
                            (metadata.contextSize + std::int64_t{metadata.convDelay} * metadata.subsampling) +
                        metadata.nFFT() / 2),
      decoderMask_(maskOf(metadata)), melSpectrogram_(melFrontEnd(metadata)),
      converter_(static_cast<double>(metadata.sampleRate), false),
      input_(metadata, snapshot ? std::optional<LSEENDState>(std::move(snapshot->state)) : std::nullopt),
      melQueue_(snapshot ? snapshot->melQueue : melQueueOf(metadata)),
      audioQueue_(snapshot ? snapshot->audioQueue : audioQueueOf(metadata)),
      cmnMean_(snapshot ? snapshot->cmnMean : std::vector<float>(static_cast<std::size_t>(metadata.nMels), 0.0f)),
      cmnCount_(snapshot ? snapshot->cmnCount : 0), decoderMaskEnd_(snapshot ? snapshot->decoderMaskEnd : 0) {}

std::int64_t LSEENDFeatureProvider::samplesPerChunk() const { return audioQueue_.chunkFloats(); }

std::int64_t LSEENDFeatureProvider::readyChunks() const {
    std::lock_guard lock(mutex_);
    return melQueue_.readyChunks();
}

void LSEENDFeatureProvider::enqueueAudio(std::span<const float> samples, std::optional<double> sampleRate,
                                         bool eagerPreprocessing) {
    std::lock_guard lock(mutex_);
    const double targetRate = converter_.targetFormat().sampleRate();
    if (sampleRate && !samples.empty() && *sampleRate != targetRate) {
        audioQueue_.append(converter_.resample(samples, *sampleRate));
    } else {
        audioQueue_.append(samples);
    }
    if (eagerPreprocessing) {
        processAudioQueueLocked();
    }
}

std::int64_t LSEENDFeatureProvider::enqueueAudioFile(const std::filesystem::path& url) {
    const auto samples = converter_.resampleAudioFile(url);
    std::lock_guard lock(mutex_);
    audioQueue_.append(samples);
    processAudioQueueLocked();
    return static_cast<std::int64_t>(samples.size());
}

void LSEENDFeatureProvider::drainRightContextWithSilence(bool flush) {
    std::lock_guard lock(mutex_);
    audioQueue_.append(flushSampleCount_, 0.0f);
    const std::int64_t chunk = audioQueue_.chunkFloats();
    const std::int64_t remainder =
        std::max<std::int64_t>(0, audioQueue_.unreadFloats() - audioQueue_.contextFloats()) % chunk;
    audioQueue_.append((chunk - remainder) % chunk, 0.0f);
    if (flush) {
        processAudioQueueLocked();
    }
}

void LSEENDFeatureProvider::processAudioQueueLocked() {
    const auto window = audioQueue_.popAllChunks();
    if (!window) {
        return;
    }
    auto mel =
        melSpectrogram_.computeFlatTransposed(*window, 0, AudioMelSpectrogram::PaddingMode::prePadded, std::nullopt);
    const auto values = static_cast<std::size_t>(mel.numFrames) * static_cast<std::size_t>(metadata_.nMels);
    mel.mel.resize(values);
    platform::dsp::multiplyScalar(mel.mel.data(), log10Scale, mel.mel.data(), values);
    normalise(mel.mel);
    melQueue_.append(mel.mel);
}

// Each frame loses the running mean of every frame of the stream up to and including itself.
void LSEENDFeatureProvider::normalise(std::vector<float>& frames) {
    const std::size_t bands = cmnMean_.size();
    for (std::size_t start = 0; start + bands <= frames.size() && bands > 0; start += bands) {
        ++cmnCount_;
        const auto count = static_cast<float>(cmnCount_);
        for (std::size_t band = 0; band < bands; ++band) {
            cmnMean_[band] += (frames[start + band] - cmnMean_[band]) / count;
            frames[start + band] -= cmnMean_[band];
        }
    }
}

LSEENDInput* LSEENDFeatureProvider::emitNextChunk() {
    std::lock_guard lock(mutex_);
    processAudioQueueLocked();
    const auto window = melQueue_.popNextChunk();
    if (!window) {
        return nullptr;
    }
    const std::int64_t chunk = metadata_.chunkSize;
    const std::int64_t end = std::min<std::int64_t>(decoderMaskEnd_ + chunk, chunk + metadata_.convDelay);
    decoderMaskEnd_ = end;
    const std::span<const float> mask(decoderMask_.data() + (end - chunk), static_cast<std::size_t>(chunk));
    input_.loadInputs(*window, mask, static_cast<int>(std::min(chunk, chunk + metadata_.convDelay - end)));
    return &input_;
}

LSEENDFeatureProvider::Snapshot LSEENDFeatureProvider::takeSnapshot() const {
    std::lock_guard lock(mutex_);
    return Snapshot{.state = input_.state().copy(),
                    .melQueue = melQueue_,
                    .audioQueue = audioQueue_,
                    .cmnMean = cmnMean_,
                    .cmnCount = cmnCount_,
                    .decoderMaskEnd = decoderMaskEnd_};
}

void LSEENDFeatureProvider::rollback(Snapshot snapshot, bool keepingState) {
    std::lock_guard lock(mutex_);
    if (!keepingState) {
        input_.setState(std::move(snapshot.state));
    }
    melQueue_ = std::move(snapshot.melQueue);
    audioQueue_ = std::move(snapshot.audioQueue);
    cmnMean_ = std::move(snapshot.cmnMean);
    cmnCount_ = snapshot.cmnCount;
    decoderMaskEnd_ = snapshot.decoderMaskEnd;
}

void LSEENDFeatureProvider::reset() {
    std::lock_guard lock(mutex_);
    std::fill(cmnMean_.begin(), cmnMean_.end(), 0.0f);
    cmnCount_ = 0;
    decoderMaskEnd_ = 0;
    melQueue_.reset();
    audioQueue_.reset();
    input_.resetState();
}

} // namespace quorl
