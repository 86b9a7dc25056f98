#include "QuorlAudio/asr/streaming/StreamingEouAsrManager.hpp"

#include "EouTestModels.hpp"
#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"
#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"
#include "StreamingTestAudio.hpp"
#include "platform/audio/AudioFormat.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::MultiArray;

std::unique_ptr<StreamingEouAsrManager> loadedEngine(const EouTestModels& models, StreamingChunkSize chunkSize,
                                                     std::int64_t debounceMs = 1280, bool debugFeatures = false) {
    auto engine = std::make_unique<StreamingEouAsrManager>(StreamingEouAsrManager::Config{
        .configuration = {},
        .chunkSize = chunkSize,
        .eouDebounceMs = debounceMs,
        .debugFeatures = debugFeatures,
    });
    engine->loadModels(models.folder());
    return engine;
}

// Appends the samples in buffers of the sizes in turn, decoding after each buffer.
void feed(StreamingEouAsrManager& engine, const std::vector<float>& samples, std::vector<std::size_t> sizes) {
    std::size_t position = 0;
    for (std::size_t turn = 0; position < samples.size(); ++turn) {
        const std::size_t count = std::min(sizes[turn % sizes.size()], samples.size() - position);
        engine.appendAudio(*monoBuffer(std::span(samples).subspan(position, count)));
        engine.processBufferedAudio();
        position += count;
    }
}

// The stream's samples [first, first + count), zero past `available`.
std::vector<float> chunkOf(const std::vector<float>& stream, std::size_t first, std::size_t count) {
    std::vector<float> chunk(count, 0.0f);
    for (std::size_t index = 0; index < count && first + index < stream.size(); ++index) {
        chunk[index] = stream[first + index];
    }
    return chunk;
}

// Each encoder call saw the mel features of the expected chunk.
void expectChunks(const EouTestModels& models, const std::vector<std::vector<float>>& chunks, std::size_t firstCall,
                  const std::string& what) {
    auto& encoder = const_cast<EouTestModels&>(models).encoder();
    const auto calls = encoder.calls();
    ASSERT_EQ(calls.size(), firstCall + chunks.size()) << what;
    const auto extractor = NemotronMelExtractor::make();
    for (std::size_t index = 0; index < chunks.size(); ++index) {
        const auto& inputs = calls[firstCall + index].inputs;
        const auto expected = extractor.melSpectrogram(chunks[index]);
        EXPECT_EQ(testsupport::valuesOf(*inputs.at("audio_signal").multiArrayValue()), testsupport::valuesOf(*expected))
            << what << ", chunk " << index;
        EXPECT_EQ(inputs.at("audio_length").multiArrayValue()->value(0), static_cast<double>(expected->shape()[2]))
            << what;
    }
}

std::vector<float> signal(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = static_cast<float>(0.3 * std::sin(0.01 * static_cast<double>(index * index % 9973)));
    }
    return samples;
}

TEST(StreamingEouAsrManagerTests, DecodesIrregularBuffersInEveryGeometry) {
    const struct {
        StreamingChunkSize chunkSize;
        std::size_t samples;
        std::size_t chunks;
        std::int64_t tokenTimeMs;
    } cases[] = {
        {StreamingChunkSize::ms160, 2559, 0, 0},
        {StreamingChunkSize::ms160, 3840, 2, 200},
        {StreamingChunkSize::ms320, 10080 + 2 * 5120 + 77, 3, 720},
        {StreamingChunkSize::ms1280, 40960, 2, 0},
        {StreamingChunkSize::ms1280, 3 * 20480, 3, 2640},
    };
    for (const auto& testCase : cases) {
        const std::string what = "geometry " + std::to_string(chunkSamples(testCase.chunkSize)) + ", " +
                                 std::to_string(testCase.samples) + " samples";
        EouTestModels models(testCase.chunkSize);
        models.script(0, 0, {1, 2});
        models.script(2, 1, {3});
        const auto engine = loadedEngine(models, testCase.chunkSize);
        std::vector<std::string> partials;
        engine->setPartialTranscriptCallback([&](const std::string& text) { partials.push_back(text); });
        const auto stream = signal(testCase.samples);
        feed(*engine, stream, {1000, 37, 2600, 1});

        const auto chunk = static_cast<std::size_t>(chunkSamples(testCase.chunkSize));
        const auto shift = static_cast<std::size_t>(shiftSamples(testCase.chunkSize));
        std::vector<std::vector<float>> chunks;
        for (std::size_t index = 0; index < testCase.chunks; ++index) {
            chunks.push_back(chunkOf(stream, index * shift, chunk));
        }
        expectChunks(models, chunks, 0, what);
        // Each call's caches are the previous call's outputs, which add one to every element.
        const auto calls = models.encoder().calls();
        for (std::size_t index = 0; index < calls.size(); ++index) {
            for (const char* cache : {"pre_cache", "cache_last_channel", "cache_last_time", "cache_last_channel_len"}) {
                EXPECT_EQ(calls[index].inputs.at(cache).multiArrayValue()->value(0), static_cast<double>(index))
                    << what << ", " << cache;
            }
        }
        if (testCase.chunks == 3) {
            EXPECT_EQ(engine->getTokenTimestampsMs(), (std::vector<std::int64_t>{0, 0, testCase.tokenTimeMs})) << what;
            EXPECT_EQ(engine->getRawTokenStrings(), (std::vector<std::string>{"\u2581he", "llo", "\u2581world"}));
            EXPECT_EQ(partials, (std::vector<std::string>{"hello", "hello world"})) << what;
        }
    }
}

TEST(StreamingEouAsrManagerTests, FinishDecodesEveryBufferedChunkAndThePaddedRemainder) {
    EouTestModels models(StreamingChunkSize::ms160);
    models.script(0, 0, {1});
    models.script(2, 0, {3});
    const auto engine = loadedEngine(models, StreamingChunkSize::ms160);
    const auto stream = signal(3840 + 100);
    engine->appendAudio(*monoBuffer(stream));

    EXPECT_EQ(engine->finish(), "he world");
    expectChunks(models, {chunkOf(stream, 0, 2560), chunkOf(stream, 1280, 2560), chunkOf(stream, 2560, 2560)}, 0,
                 "finish");
    EXPECT_EQ(engine->getPartialTranscript(), "");
    EXPECT_TRUE(engine->getTokenTimestampsMs().empty());
    EXPECT_EQ(engine->finish(), "");
    EXPECT_EQ(models.encoder().calls().size(), 3u);
}

TEST(StreamingEouAsrManagerTests, AudioAtAnotherRateGoesThroughOneResamplerForTheStream) {
    EouTestModels models(StreamingChunkSize::ms160);
    const auto engine = loadedEngine(models, StreamingChunkSize::ms160);
    std::vector<float> fast(48000 / 4);
    for (std::size_t index = 0; index < fast.size(); ++index) {
        fast[index] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440 * index / 48000.0));
    }
    const auto format = *platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 48000, 1, false);
    const auto bufferOf = [&](std::span<const float> samples) {
        auto buffer = platform::audio::PCMBuffer::make(format, static_cast<std::uint32_t>(samples.size()));
        std::ranges::copy(samples, buffer->floatChannelData()[0]);
        buffer->setFrameLength(static_cast<std::uint32_t>(samples.size()));
        return buffer;
    };
    for (std::size_t position = 0; position < fast.size(); position += 1024) {
        engine->appendAudio(
            *bufferOf(std::span(fast).subspan(position, std::min<std::size_t>(1024, fast.size() - position))));
        engine->processBufferedAudio();
    }
    engine->finish();

    ContinuousAudioConverter onePiece(16000);
    std::vector<float> converted = onePiece.convert(*bufferOf(fast));
    const auto tail = onePiece.finish();
    converted.insert(converted.end(), tail.begin(), tail.end());
    std::vector<std::vector<float>> chunks;
    std::size_t first = 0;
    for (; first + 2560 <= converted.size(); first += 1280) {
        chunks.push_back(chunkOf(converted, first, 2560));
    }
    chunks.push_back(chunkOf(converted, first, 2560));
    expectChunks(models, chunks, 0, "48 kHz stream");
}

TEST(StreamingEouAsrManagerTests, ConfirmsAnEndOfUtteranceAfterTheDebounce) {
    EouTestModels models(StreamingChunkSize::ms1280);
    models.scriptEndOfUtterance(0, 0);
    models.script(1, 0, {1});
    models.script(1, 1, {RnntDecoder::eouId});
    models.scriptEndOfUtterance(2, 5);
    const auto engine = loadedEngine(models, StreamingChunkSize::ms1280);
    std::vector<std::string> events;
    engine->setPartialCallback([&](const std::string& text) { events.push_back("partial " + text); });
    engine->setEouCallback([&](const std::string& text) { events.push_back("eou " + text); });
    const testsupport::RecordingLogSink log;

    // Chunk 0 starts a candidate, chunk 1's word cancels it, chunk 2 starts another, chunk 3 confirms it.
    feed(*engine, signal(4 * 20480), {20480});
    EXPECT_EQ(events, (std::vector<std::string>{"partial he", "eou he"}));
    EXPECT_TRUE(engine->eouDetected());
    EXPECT_EQ(engine->getEouTimestampsMs(), std::vector<std::int64_t>{4 * 1280});
    const auto lines = log.messages("StreamingEOU");
    EXPECT_NE(std::ranges::find(lines, "EOU confirmed at chunk 3 after 1280ms silence"), lines.end());

    feed(*engine, signal(2 * 20480), {20480});
    EXPECT_EQ(events.size(), 2u);
    engine->finish();
    EXPECT_TRUE(engine->eouDetected());
    engine->reset();
    EXPECT_FALSE(engine->eouDetected());
}

TEST(StreamingEouAsrManagerTests, ResetStartsAFreshStreamAndCleanupReleasesTheModels) {
    EouTestModels models(StreamingChunkSize::ms160);
    models.script(0, 1, {1});
    models.script(1, 0, {5});
    models.script(2, 1, {1});
    const auto engine = loadedEngine(models, StreamingChunkSize::ms160);
    std::vector<std::string> partials;
    engine->setPartialCallback([&](const std::string& text) { partials.push_back(text); });

    feed(*engine, signal(2560), {2560});
    EXPECT_EQ(engine->finish(), "he again");
    // After finish the timeline carries on: chunk 2's token lies at (2 x 2 + 1) x 40 ms.
    feed(*engine, signal(2560), {2560});
    EXPECT_EQ(engine->getTokenTimestampsMs(), std::vector<std::int64_t>{200});
    engine->appendAudio(*monoBuffer(signal(500)));
    engine->reset();
    EXPECT_EQ(engine->getPartialTranscript(), "");
    EXPECT_TRUE(engine->getTokenTimestampsMs().empty());
    EXPECT_EQ(engine->finish(), "");
    feed(*engine, signal(2560), {2560});
    const auto calls = models.encoder().calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[3].inputs.at("cache_last_channel_len").multiArrayValue()->value(0), 0.0);
    EXPECT_EQ(models.decoder().calls().back().inputs.at("targets").multiArrayValue()->value(0), 1026.0);

    const testsupport::RecordingLogSink log;
    engine->cleanup();
    EXPECT_EQ(log.messages("StreamingEOU").back(), "StreamingEouAsrManager resources cleaned up");
    EXPECT_EQ(engine->getPartialTranscript(), "");
    engine->appendAudio(*monoBuffer(signal(2000)));
    EXPECT_NO_THROW(engine->processBufferedAudio());
    engine->appendAudio(*monoBuffer(signal(1000)));
    EXPECT_THROW(engine->processBufferedAudio(), ASRError);
    EXPECT_THROW(engine->finish(), ASRError);

    engine->loadModels(models.folder());
    engine->reset();
    partials.clear();
    models.script(4, 0, {3});
    feed(*engine, signal(2560), {2560});
    EXPECT_EQ(partials, std::vector<std::string>{"world"});
}

TEST(StreamingEouAsrManagerTests, ModelsMissingWhenAChunkIsDueKeepTheAudio) {
    StreamingEouAsrManager engine;
    EXPECT_EQ(engine.finish(), "");
    engine.injectSilence(0.5);
    EXPECT_THROW(engine.processBufferedAudio(), ASRError);
    EouTestModels models(StreamingChunkSize::ms160);
    engine.loadModels(models.folder());
    engine.injectSilence(0.5);
    engine.processBufferedAudio();
    // 8000 injected samples make five chunks; the loaded models cleared the buffer first.
    EXPECT_EQ(models.encoder().calls().size(), 5u);
    EXPECT_EQ(StreamingEouAsrManager(
                  StreamingEouAsrManager::Config{.configuration = {}, .chunkSize = StreamingChunkSize::ms320})
                  .displayName(),
              "Parakeet EOU 120M (630ms)");
}

TEST(StreamingEouAsrManagerTests, TheFusedDecoderIsUsedOnlyWhenAskedForExactly) {
    const struct {
        std::optional<std::string> value;
        bool writeFused;
        bool fused;
    } cases[] = {
        {"1", true, true}, {"true", true, false}, {"01", true, false}, {std::nullopt, true, false}, {"1", false, false},
    };
    for (const auto& testCase : cases) {
        testsupport::ScopedEnvironment environment;
        environment.set("QUORL_EOU_FUSED", testCase.value);
        EouTestModels models(StreamingChunkSize::ms160);
        if (testCase.writeFused) {
            models.writeFusedModel();
        }
        const testsupport::RecordingLogSink log;
        const auto engine = loadedEngine(models, StreamingChunkSize::ms160);
        feed(*engine, signal(2560), {2560});
        EXPECT_EQ(!models.fused().calls().empty(), testCase.fused) << testCase.value.value_or("unset");
        EXPECT_EQ(models.decoder().calls().empty(), testCase.fused) << testCase.value.value_or("unset");
        if (!testCase.writeFused) {
            const auto lines = log.messages("StreamingEOU");
            EXPECT_NE(std::ranges::find_if(lines,
                                           [](const std::string& line) {
                                               return line.starts_with(
                                                   "QUORL_EOU_FUSED=1 set but decoder_joint_decision_fused.mlmodelc");
                                           }),
                      lines.end());
        }
    }
}

TEST(StreamingEouAsrManagerTests, LoadsCachedModelsFromTheRepositoryFolderUnderTheBase) {
    EouTestModels models(StreamingChunkSize::ms320);
    const testsupport::TemporaryFolder base;
    const auto modelFolder = base.path() / "parakeet-eou-streaming" / "320ms";
    std::filesystem::create_directories(modelFolder);
    std::filesystem::copy(models.folder(), modelFolder, std::filesystem::copy_options::recursive);
    StreamingEouAsrManager engine(StreamingEouAsrManager::Config{
        .configuration = {}, .chunkSize = StreamingChunkSize::ms320, .eouDebounceMs = 1280, .debugFeatures = false});
    const testsupport::RecordingLogSink log;
    platform::ml::ModelConfiguration cpuOnly;
    cpuOnly.computeUnits = platform::ml::ComputeUnits::cpuOnly;
    engine.loadModels(base.path(), cpuOnly, {});
    EXPECT_EQ(log.messages("StreamingEOU").front(), "Using cached Parakeet EOU models at " + modelFolder.string());
    EXPECT_EQ(engine.configuration().computeUnits, platform::ml::ComputeUnits::cpuOnly);
    EXPECT_EQ(models.encoder().loads().back().configuration.computeUnits, platform::ml::ComputeUnits::cpuOnly);
    EXPECT_EQ(models.encoder().loads().back().bundlePath, modelFolder / "streaming_encoder.mlmodelc");
}

TEST(StreamingEouAsrManagerTests, TheDebugDumpIsValidJson) {
    EouTestModels models(StreamingChunkSize::ms160);
    const auto engine = loadedEngine(models, StreamingChunkSize::ms160, 1280, true);
    feed(*engine, signal(3840), {3840});
    const auto path = models.folder() / "features.json";
    engine->saveDebugFeatures(path);
    const auto document = nlohmann::json::parse(testsupport::fileContents(path));
    EXPECT_EQ(document.at("count"), 2 * 128 * 17);
    ASSERT_EQ(document.at("mel_features").size(), 2u * 128 * 17);
    const auto firstChunk = NemotronMelExtractor::make().melSpectrogram(chunkOf(signal(3840), 0, 2560));
    EXPECT_FLOAT_EQ(document.at("mel_features")[5].get<float>(), firstChunk->data<float>()[5]);
    EXPECT_THROW(engine->saveDebugFeatures(models.folder() / "missing" / "features.json"),
                 std::filesystem::filesystem_error);
}

} // namespace
} // namespace quorl
