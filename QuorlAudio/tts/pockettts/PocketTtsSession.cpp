#include "QuorlAudio/tts/pockettts/PocketTtsSession.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsSessionGenerator.hpp"

#include <utility>

namespace quorl {

using PocketTtsSynthesizer::FrameStream;

std::shared_ptr<PocketTtsSession> PocketTtsSession::start(PocketTtsSessionSetup setup) {
    auto [frames, frameContinuation] = FrameStream::makeStream();
    auto [texts, textContinuation] = TextStream::makeStream();
    auto generator = std::make_shared<PocketTtsSessionGenerator>(std::move(setup));
    const platform::core::DetachedTask task(
        [generator = std::move(generator), texts = texts, frames = frameContinuation]() mutable {
            generator->generateLoop(texts, frames);
        });
    // However the output ends (spoken, failed, or its consumer gone), the input ends with it. The handler may
    // run on the generation's own thread, so it does not wait for the generation.
    frameContinuation.onTermination([task, textContinuation = textContinuation] {
        task.cancel();
        textContinuation.finish();
    });
    return std::shared_ptr<PocketTtsSession>(new PocketTtsSession(frames, textContinuation, task));
}

PocketTtsSession::PocketTtsSession(FrameStream frames, TextStream::Continuation textContinuation,
                                   platform::core::DetachedTask generationTask)
    : frames_(std::move(frames)), textContinuation_(std::move(textContinuation)),
      generationTask_(std::move(generationTask)) {}

PocketTtsSession::~PocketTtsSession() { textContinuation_.finish(); }

void PocketTtsSession::enqueue(std::string text) const { textContinuation_.yield(std::move(text)); }

void PocketTtsSession::finish() const { textContinuation_.finish(); }

void PocketTtsSession::cancel() const {
    generationTask_.cancel();
    textContinuation_.finish();
    generationTask_.wait();
}

} // namespace quorl
