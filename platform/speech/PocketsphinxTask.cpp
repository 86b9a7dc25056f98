#include "platform/speech/PocketsphinxTask.hpp"

#include "platform/audio/FormatConverter.hpp"
#include "platform/audio/SingleBufferInput.hpp"
#include "platform/core/DedicatedTask.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/core/Task.hpp"

#include <cmath>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace platform::speech {

namespace {

using audio::FormatConverter;
using audio::PCMBuffer;

constexpr double decoderRate = 16000;
// Room for the resampler's rounding in every output buffer.
constexpr std::uint32_t slackFrames = 32;

// The stream of one task in the decoder's format. One converter serves the whole stream, so the resampler's
// state carries from one buffer to the next; a change of format starts a new one.
class DecoderFeed {
public:
    std::vector<std::int16_t> convert(const PCMBuffer& buffer) {
        if (!converter_ || converter_->inputFormat() != buffer.format()) {
            converter_ = FormatConverter::make(buffer.format(), target_);
        }
        if (!converter_) {
            throw core::SystemError("platform.speech", 2, "Cannot convert " + buffer.format().description());
        }
        const auto frames = std::ceil(decoderRate / buffer.format().sampleRate() * buffer.frameLength());
        const auto output = PCMBuffer::make(target_, static_cast<std::uint32_t>(frames) + slackFrames);
        std::vector<std::int16_t> samples;
        auto input = audio::singleBufferInput(buffer);
        FormatConverter::OutputStatus status;
        do {
            const auto result = converter_->convert(*output, input);
            if (result.status == FormatConverter::OutputStatus::error) {
                throw *result.error;
            }
            status = result.status;
            const auto* channel = output->int16ChannelData()[0];
            samples.insert(samples.end(), channel, channel + output->frameLength());
        } while (status == FormatConverter::OutputStatus::haveData);
        return samples;
    }

private:
    const audio::AudioFormat target_ = *audio::AudioFormat::make(audio::CommonFormat::int16, decoderRate, 1, false);
    std::unique_ptr<FormatConverter> converter_;
};

} // namespace

PocketsphinxTask::PocketsphinxTask(std::shared_ptr<SharedPocketsphinxDecoder> decoder,
                                   std::shared_ptr<SpeechAudioBufferRecognitionRequest> request,
                                   RecognitionHandler handler, core::MainQueue& mainQueue)
    : mainQueue_(mainQueue), delivery_(std::make_shared<Delivery>(Delivery{.handler = std::move(handler)})) {
    worker_ = std::make_unique<core::DedicatedTask>(
        [this, decoder = std::move(decoder), request = std::move(request)] { recognise(*decoder, *request); });
}

PocketsphinxTask::~PocketsphinxTask() { worker_->cancel(); }

void PocketsphinxTask::cancel() {
    delivery_->handler = nullptr;
    worker_->cancel();
}

void PocketsphinxTask::recognise(SharedPocketsphinxDecoder& shared, SpeechAudioBufferRecognitionRequest& request) {
    try {
        const std::lock_guard lock(shared.mutex());
        auto& decoder = shared.decoder();
        decoder.startUtterance();
        DecoderFeed feed;
        std::string partial;
        while (const auto buffer = request.nextBuffer()) {
            decoder.process(feed.convert(**buffer));
            auto hypothesis = decoder.hypothesis();
            if (request.options().shouldReportPartialResults && !hypothesis.empty() && hypothesis != partial) {
                partial = hypothesis;
                deliver(SpeechRecognitionResult{.formattedString = std::move(hypothesis), .isFinal = false}, nullptr);
            }
        }
        // Ended also when cancelled, so the decoder is ready for the next task.
        decoder.endUtterance();
        if (!core::Task::isCancelled()) {
            deliver(SpeechRecognitionResult{.formattedString = decoder.hypothesis(), .isFinal = true}, nullptr);
        }
    } catch (...) {
        deliver(std::nullopt, std::current_exception());
    }
}

void PocketsphinxTask::deliver(std::optional<SpeechRecognitionResult> result, std::exception_ptr error) {
    const bool last = error || (result && result->isFinal);
    mainQueue_.async([delivery = delivery_, result = std::move(result), error = std::move(error), last] {
        if (!delivery->handler) {
            return;
        }
        const auto handler = last ? std::exchange(delivery->handler, nullptr) : delivery->handler;
        handler(result, error);
    });
}

} // namespace platform::speech
