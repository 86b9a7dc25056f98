#include "Mirvo/DictationCuesPlugin.hpp"

#include "Mirvo/HostLog.hpp"
#include "Mirvo/MethodArguments.hpp"

#include "platform/audio/WavEncoding.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/core/SystemError.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>

namespace mirvo {

namespace ui = platform::ui;
using platform::audio::AudioPlayer;
using platform::core::concatenated;
namespace WavEncoding = platform::audio::WavEncoding;

namespace {

struct Cue {
    double hz;
    double seconds;
    float volume;
};

constexpr Cue startCue{.hz = 220, .seconds = 0.22, .volume = 0.18F};
constexpr Cue stopCue{.hz = 165, .seconds = 0.26, .volume = 0.16F};

// A gong: a fundamental and three inharmonic overtones, each quieter than the last.
struct Partial {
    double multiple;
    double amplitude;
};

constexpr std::array<Partial, 4> partials{{
    {.multiple = 1.0, .amplitude = 1.0},
    {.multiple = 2.76, .amplitude = 0.42},
    {.multiple = 4.07, .amplitude = 0.14},
    {.multiple = 5.43, .amplitude = 0.07},
}};

constexpr double sampleRate = 44100;
constexpr double twoPi = 6.283185307179586;
// Fractions of the cue, not seconds: the fade-in takes its first 8 %, and the decay is paced by its length.
constexpr double fadeInLength = 0.08;
constexpr double decayRate = 3.4;
// Keeps the sum of the partials (at most 1.63) inside full scale.
constexpr double mixingDivisor = 1.65;
constexpr double fullScale = 32767;

constexpr const char* badArgumentsCode = "bad-args";
constexpr const char* badArgumentsMessage = "play needs {which: start|stop}";

// The sample count, or nothing when the length cannot be held by one WAV file.
std::optional<std::size_t> sampleCount(double seconds) {
    const double rounded = std::round(seconds * sampleRate);
    if (!std::isfinite(rounded) || rounded > static_cast<double>(WavEncoding::maxSampleCount)) {
        return std::nullopt;
    }
    return rounded >= 2 ? static_cast<std::size_t>(rounded) : 1;
}

std::int16_t pcm16(double x) {
    if (x >= 1) {
        return static_cast<std::int16_t>(fullScale);
    }
    return static_cast<std::int16_t>(std::round(std::max(x, -1.0) * fullScale));
}

// Nothing when a sample has no value: the pitch or the volume is not finite (the first sample already shows it), or
// the pitch is so high that its phase steps overflow to infinity.
std::optional<std::vector<std::int16_t>> gongSamples(double hz, std::size_t count, double volume) {
    // t runs from 0 at the first sample to 1 at the last; a lone sample keeps the divisor at 1.
    const double divisor = count >= 2 ? static_cast<double>(count - 1) : 1;
    std::array<double, partials.size()> phases{};
    std::vector<std::int16_t> samples;
    samples.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / divisor;
        const double envelope = std::exp(-decayRate * t) * std::min(t / fadeInLength, 1.0) * volume;
        double sum = 0;
        for (std::size_t k = 0; k < partials.size(); ++k) {
            phases[k] += (hz * twoPi) * partials[k].multiple / sampleRate;
            if (phases[k] > twoPi) {
                phases[k] -= twoPi;
            }
            sum += partials[k].amplitude * std::sin(phases[k]);
        }
        const double x = envelope * (sum / mixingDivisor);
        if (std::isnan(x)) {
            return std::nullopt;
        }
        samples.push_back(pcm16(x));
    }
    return samples;
}

void logCue(const std::string& which, std::string_view outcome) {
    hostLog(concatenated({"dictation cue ", which, outcome}));
}

} // namespace

DictationCuesPlugin::DictationCuesPlugin(ui::BinaryMessenger& messenger, platform::audio::AudioOutput& output)
    : ChannelPlugin(messenger, "mirvo/dictation_cues"), output_(output) {}

void DictationCuesPlugin::playCue(const std::string& which) {
    mainQueue().async([weakInstance = weakSelf(), which] {
        if (const auto plugin = weakInstance.lock()) {
            plugin->play(which);
        }
    });
}

std::optional<std::vector<std::uint8_t>> DictationCuesPlugin::gongWav(double hz, double seconds, float volume) {
    const auto count = sampleCount(seconds);
    if (!count) {
        return std::nullopt;
    }
    const auto samples = gongSamples(hz, *count, static_cast<double>(volume));
    if (!samples) {
        return std::nullopt;
    }
    // A mono 16-bit PCM file at 44.1 kHz.
    return WavEncoding::file(*samples, sampleRate);
}

void DictationCuesPlugin::play(const std::string& which) {
    const Cue cue = which == "stop" ? stopCue : startCue;
    const auto wav = gongWav(cue.hz, cue.seconds, cue.volume);
    if (!wav) {
        hostLog("dictation cue wav build failed");
        return;
    }
    std::shared_ptr<AudioPlayer> player;
    try {
        player = AudioPlayer::make(*wav, output_);
    } catch (const platform::core::SystemError& error) {
        logCue(which, concatenated({" error ", error.what()}));
        return;
    }
    player->setDelegate(weakSelf());
    // The loudness lives in the samples.
    player->setVolume(1.0F);
    playingPlayers_.push_back(player);
    if (player->play()) {
        logCue(which, " meditation-gong");
        return;
    }
    logCue(which, " failed to start");
    forget(*player);
}

void DictationCuesPlugin::audioPlayerDidFinishPlaying(AudioPlayer& player, bool) {
    // Players report from their output's thread; the list belongs to the main queue.
    mainQueue().async([context = weakSelf(), weakPlayer = player.weak_from_this()] {
        const auto self = context.lock();
        const auto finished = weakPlayer.lock();
        if (self && finished) {
            self->forget(*finished);
        }
    });
}

void DictationCuesPlugin::handle(const ui::MethodCall& call, const ui::MethodResult& result) {
    if (call.method != "play") {
        ChannelPlugin::handle(call, result);
        return;
    }
    const auto which = MethodArguments(call.arguments).string("which");
    if (!which) {
        result.error(badArgumentsCode, badArgumentsMessage);
        return;
    }
    play(*which);
    result.success();
}

std::weak_ptr<DictationCuesPlugin> DictationCuesPlugin::weakSelf() {
    return std::static_pointer_cast<DictationCuesPlugin>(weak_from_this().lock());
}

void DictationCuesPlugin::forget(const AudioPlayer& player) {
    std::erase_if(playingPlayers_, [&player](const auto& playing) { return playing.get() == &player; });
}

} // namespace mirvo
