#include "MultilingualStreamScript.hpp"

#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "platform/audio/AudioFormat.hpp"

#include <algorithm>

namespace quorl::multilingualstream {

const nlohmann::json& smallMetadata() {
    static const nlohmann::json metadata{
        {"mel_features", 16},
        {"chunk_mel_frames", 20},
        {"total_mel_frames", 23},
        {"pre_encode_cache", 3},
        {"vocab_size", 5},
        {"encoder_dim", 4},
        {"decoder_hidden", 8},
        {"decoder_layers", 2},
        {"cache_channel_shape", {1, 2, 3, 4}},
        {"cache_time_shape", {1, 2, 4, 2}},
        {"lang_tag_token_ids", {2, 3, 4}},
        {"default_prompt_id", 7},
        {"prompt_dictionary", {{"de", 11}, {"en-US", 12}, {"fr", 13}}},
    };
    return metadata;
}

const std::vector<DecodingPath>& decodingPaths() {
    static const std::vector<DecodingPath> paths{
        {"B3+B1", {Model::decoderJointNoEncProj}, true, Model::decoderJointNoEncProj},
        {"triple-fusion", {Model::decoderJointArgmax}, false, Model::decoderJointArgmax},
        {"merged", {Model::decoderJoint}, false, Model::decoderJoint},
        {"bare decoder+joint", {Model::decoder, Model::joint}, false, Model::joint},
    };
    return paths;
}

const DecodingPath& tripleFusion() { return decodingPaths()[1]; }

void loadStream(StreamingNemotronMultilingualAsrManager& manager, MultilingualTestVariant& variant,
                const DecodingPath& path, MultilingualEncoderOutputs encoder) {
    encoder.projected = encoder.projected || path.projected;
    variant.addEncoder(encoder);
    for (const Model model : path.models) {
        variant.add(model);
    }
    manager.loadModels(variant.folder());
    StreamingNemotronMultilingualAsrManagerProbe::setGate(manager, {.rmsThreshold = 0, .hangoverChunks = 2});
}

std::size_t frameOf(const testsupport::ScriptedKernel::Call& call) {
    const auto found =
        call.inputs.contains("encoder_proj") ? call.inputs.find("encoder_proj") : call.inputs.find("encoder");
    return static_cast<std::size_t>(found->second.multiArrayValue()->value(0) / 100);
}

std::size_t encoderCalls(MultilingualTestVariant& variant) { return variant.kernel(Model::encoder).calls().size(); }

void emitPlan(MultilingualTestVariant& variant, Model chooser, Plan plan) {
    const std::size_t before = encoderCalls(variant);
    auto emitted = std::make_shared<std::map<std::pair<std::size_t, std::size_t>, std::size_t>>();
    variant.emit(chooser, [&variant, plan = std::move(plan), before, emitted](const auto& call) -> std::int64_t {
        const std::pair position{encoderCalls(variant) - before - 1, frameOf(call)};
        const auto planned = plan.find(position);
        std::size_t& count = (*emitted)[position];
        if (planned == plan.end() || count == planned->second.size()) {
            return blank;
        }
        return planned->second[count++];
    });
}

std::int64_t helloWorldPerChunk(const testsupport::ScriptedKernel::Call& call) {
    const std::size_t frame = frameOf(call);
    const auto token = static_cast<std::int64_t>(call.inputs.at("token").multiArrayValue()->value(0));
    if (frame == 0 && token != 0) {
        return 0;
    }
    if (frame == 1 && token == 0) {
        return 1;
    }
    return blank;
}

std::string helloWorldTimes(std::size_t chunks) {
    std::string text;
    for (std::size_t i = 0; i < chunks; ++i) {
        text += i == 0 ? "hello world" : " hello world";
    }
    return text;
}

std::vector<float> noise(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<float>((i * 7919) % 200) / 400.0F - 0.25F;
    }
    return samples;
}

std::shared_ptr<platform::audio::PCMBuffer> buffer(double sampleRate, std::uint32_t channels, std::uint32_t frames,
                                                   float value) {
    const auto format =
        platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, sampleRate, channels, false);
    auto made = platform::audio::PCMBuffer::make(*format, frames);
    made->setFrameLength(frames);
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        std::fill_n(made->floatChannelData()[channel], frames, value);
    }
    return made;
}

} // namespace quorl::multilingualstream
