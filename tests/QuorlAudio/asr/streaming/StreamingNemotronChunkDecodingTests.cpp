#include "QuorlAudio/asr/streaming/StreamingNemotronAsrManager.hpp"

#include "NemotronTestModels.hpp"
#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "StreamingTestAudio.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::MultiArray;
using testsupport::ScriptedKernel;

// The English cache-aware engine loaded from scripted models, recording its partial transcripts. Encoder call
// 0 is the load-time probe, so chunk n is encoder call n + 1.
struct LoadedEngine {
    explicit LoadedEngine(const NemotronStreamingConfig& geometry = NemotronTestModels::smallGeometry(),
                          bool fused = false)
        : models(geometry) {
        if (fused) {
            models.writeFusedModel();
        }
        engine.loadModels(models.folder());
        engine.setPartialCallback([this](const std::string& text) { transcripts.push_back(text); });
    }

    std::size_t chunk() const { return static_cast<std::size_t>(models.geometry().chunkMelFrames) * 160; }

    // The next `count` samples of a tone-like signal that differs from chunk to chunk.
    std::vector<float> nextSamples(std::size_t count) {
        std::vector<float> samples(count);
        for (auto& sample : samples) {
            sample = static_cast<float>((position++ % 97) - 48) / 100.0f;
        }
        return samples;
    }

    std::string process(std::size_t count) { return engine.process(*monoBuffer(nextSamples(count))); }
    void append(std::size_t count) { engine.appendAudio(*monoBuffer(nextSamples(count))); }

    std::size_t chunkSteps() const { return models.encoder().calls().size() - 1; }
    ScriptedKernel::Call encoderCall(std::size_t chunkIndex) const {
        return models.encoder().calls().at(chunkIndex + 1);
    }

    mutable NemotronTestModels models;
    StreamingNemotronAsrManager engine;
    std::vector<std::string> transcripts;
    std::size_t position = 0;
};

std::vector<double> valuesOf(const ScriptedKernel::Call& call, const std::string& name) {
    return testsupport::valuesOf(*call.inputs.at(name).multiArrayValue());
}

// Frame `frame` of every band of a [1, bands, frames] array.
std::vector<double> frameOf(const MultiArray& array, std::size_t frame) {
    std::vector<double> values;
    for (std::size_t band = 0; band < array.shape()[1]; ++band) {
        values.push_back(array.at<float>({0, band, frame}));
    }
    return values;
}

TokenTiming timing(const std::string& token, int id, double frame) {
    return {
        .token = token, .tokenId = id, .startTime = frame * 0.08, .endTime = frame * 0.08 + 0.08, .confidence = 1.0f};
}

TEST(StreamingNemotronChunkDecodingTest, ProcessDecodesOnlyCompleteChunks) {
    struct Case {
        double chunks;
        std::size_t steps;
    };
    for (const auto& c : {Case{0.5, 0}, Case{1, 1}, Case{2, 2}, Case{2.75, 2}}) {
        LoadedEngine loaded;
        EXPECT_EQ(loaded.process(static_cast<std::size_t>(c.chunks * static_cast<double>(loaded.chunk()))), "");
        EXPECT_EQ(loaded.chunkSteps(), c.steps) << c.chunks;
        // What is left waits for the rest of its chunk.
        loaded.append(loaded.chunk());
        loaded.engine.processBufferedAudio();
        EXPECT_EQ(loaded.chunkSteps(), c.steps + 1) << c.chunks;
    }
}

// The chunk's own mel frames sit behind the previous chunk's last ones; the first chunk sees zeros there.
// The built-in geometry's chunk gives 225 frames, one more than fits, and that frame reaches the encoder only
// in the next chunk's cache.
TEST(StreamingNemotronChunkDecodingTest, EachMelInputStartsWithThePreviousChunksLastFrames) {
    for (const auto& geometry : {NemotronTestModels::smallGeometry(), NemotronStreamingConfig{}}) {
        LoadedEngine loaded(geometry);
        const auto first = loaded.nextSamples(loaded.chunk());
        const auto second = loaded.nextSamples(loaded.chunk());
        loaded.engine.process(*monoBuffer(first));
        loaded.engine.process(*monoBuffer(second));
        ASSERT_EQ(loaded.chunkSteps(), 2u);

        const auto extractor = NemotronMelExtractor::make(static_cast<int>(geometry.melFeatures));
        const auto mels = {extractor.melSpectrogram(first), extractor.melSpectrogram(second)};
        const auto cached = static_cast<std::size_t>(geometry.preEncodeCache);
        const auto total = static_cast<std::size_t>(geometry.totalMelFrames);
        const std::size_t frames = mels.begin()[0]->shape()[2];
        EXPECT_EQ(frames, total - cached + 1);
        for (std::size_t chunk = 0; chunk < 2; ++chunk) {
            const auto call = loaded.encoderCall(chunk);
            const auto& input = *call.inputs.at("mel").multiArrayValue();
            ASSERT_EQ(input.shape(), (MultiArray::Shape{1, static_cast<std::size_t>(geometry.melFeatures), total}));
            EXPECT_EQ(valuesOf(call, "mel_length"), std::vector<double>{static_cast<double>(total)});
            for (std::size_t frame = 0; frame < cached; ++frame) {
                const auto expected = chunk == 0 ? std::vector<double>(input.shape()[1], 0.0)
                                                 : frameOf(*mels.begin()[0], frames - cached + frame);
                EXPECT_EQ(frameOf(input, frame), expected) << "chunk " << chunk << ", frame " << frame;
            }
            for (const std::size_t frame : {std::size_t{0}, total - cached - 1}) {
                EXPECT_EQ(frameOf(input, cached + frame), frameOf(*mels.begin()[chunk], frame))
                    << "chunk " << chunk << ", own frame " << frame;
            }
        }
    }
}

TEST(StreamingNemotronChunkDecodingTest, TheEncoderCachesCarryOnAndAMissingOneKeepsItsValue) {
    struct Case {
        std::set<std::string> omitted;
        double secondCacheLen;
    };
    for (const auto& c : {Case{{}, 2}, Case{{"cache_len_out"}, 1}}) {
        LoadedEngine loaded;
        loaded.models.omitOutputs(c.omitted);
        loaded.process(2 * loaded.chunk());
        const auto second = loaded.encoderCall(1);
        EXPECT_EQ(valuesOf(second, "cache_len"), std::vector<double>{c.secondCacheLen});
        const auto channel = valuesOf(second, "cache_channel");
        EXPECT_TRUE(std::ranges::all_of(channel, [](double value) { return value == 1; }));
        EXPECT_EQ(valuesOf(second, "cache_time"), std::vector<double>(16, 1.0));
    }
}

// Both decoding paths: the decoder then the joint, or the fused model in one call.
TEST(StreamingNemotronChunkDecodingTest, TokensBuildTheTranscriptWithTheirTimingsAndCarriedState) {
    for (const bool fused : {false, true}) {
        LoadedEngine loaded(NemotronTestModels::smallGeometry(), fused);
        loaded.models.script(1, 1, {1, 2});
        loaded.models.script(2, 0, {3});
        loaded.process(3 * loaded.chunk());

        EXPECT_EQ(loaded.transcripts, (std::vector<std::string>{"hello", "hello world"})) << fused;
        EXPECT_EQ(loaded.engine.getPartialTranscript(), "hello world");
        EXPECT_EQ(
            loaded.engine.getTokenTimings(),
            (std::vector<TokenTiming>{timing("\u2581he", 1, 1), timing("llo", 2, 1), timing("\u2581world", 3, 3)}));

        auto& stepper = fused ? loaded.models.fused() : loaded.models.decoder();
        const auto steps = stepper.calls();
        // Frame 0 of chunk 0: blank. Frame 1: he, llo, blank. Frame 2: blank. Then chunk 1, frame 0.
        ASSERT_GE(steps.size(), 6u);
        EXPECT_EQ(valuesOf(steps[2], "token"), std::vector<double>{1});
        EXPECT_EQ(valuesOf(steps[5], "token"), std::vector<double>{2});
        EXPECT_EQ(valuesOf(steps[5], "h_in"), std::vector<double>(8, 2.0));
        if (fused) {
            EXPECT_TRUE(loaded.models.decoder().calls().empty());
            EXPECT_TRUE(loaded.models.joint().calls().empty());
        } else {
            // The joint reads time index 0 of the decoder's output: the last token.
            const auto joints = loaded.models.joint().calls();
            EXPECT_EQ(valuesOf(joints[2], "decoder"), (std::vector<double>{1, 0, 0, 0}));
            EXPECT_EQ(valuesOf(joints[2], "encoder"), (std::vector<double>{101, 1, 0, 0}));
        }
    }
}

TEST(StreamingNemotronChunkDecodingTest, AFrameMovesOnAfterTenTokensWithoutABlank) {
    LoadedEngine loaded;
    loaded.models.script(1, 0, std::vector<int>(12, 4));
    loaded.process(loaded.chunk());
    EXPECT_EQ(loaded.engine.getPartialTranscript(), "!!!!!!!!!!");
    const auto steps = loaded.models.decoder().calls();
    // Ten on frame 0, then one blank each on frames 1 and 2.
    ASSERT_EQ(steps.size(), 12u);
    EXPECT_EQ(valuesOf(steps[10], "token"), std::vector<double>{4});
    EXPECT_EQ(valuesOf(steps[10], "h_in"), std::vector<double>(8, 10.0));
    EXPECT_EQ(valuesOf(loaded.models.joint().calls()[10], "encoder")[0], 101);
}

TEST(StreamingNemotronChunkDecodingTest, MissingOutputsFailTheChunkWhichStaysBuffered) {
    struct Case {
        std::string omitted;
        bool fused;
        std::string message;
    };
    const std::vector<Case> cases{
        {"encoded", false, "Encoder failed to produce output"},
        {"decoder_out", false, "Decoder failed"},
        {"c_out", false, "Decoder failed"},
        {"logits", false, "Joint failed"},
        {"h_out", true, "Fused decoder_joint failed"},
    };
    for (const auto& c : cases) {
        LoadedEngine loaded(NemotronTestModels::smallGeometry(), c.fused);
        loaded.models.omitOutputs({c.omitted});
        loaded.append(loaded.chunk());
        try {
            loaded.engine.processBufferedAudio();
            ADD_FAILURE() << c.omitted;
        } catch (const ASRError& error) {
            EXPECT_EQ(error.kind(), ASRError::Kind::processingFailed) << c.omitted;
            EXPECT_EQ(error.what(), "ASR processing failed: " + c.message) << c.omitted;
        }
        loaded.models.omitOutputs({});
        loaded.engine.processBufferedAudio();
        loaded.engine.processBufferedAudio();
        EXPECT_EQ(loaded.chunkSteps(), 2u) << c.omitted;
    }
}

// Every sample handed in before finish is decoded: the complete chunks, then the remainder padded with zeros.
TEST(StreamingNemotronChunkDecodingTest, FinishDecodesEverythingHandedIn) {
    struct Case {
        double chunks;
        std::size_t steps;
        std::string text;
    };
    for (const auto& c : {Case{0, 0, "he"}, Case{1.0 / 3200, 1, "he again"}, Case{2.5, 3, "he again"}}) {
        LoadedEngine loaded;
        loaded.models.script(1, 0, {1});
        loaded.process(loaded.chunk());
        loaded.models.script(static_cast<int>(c.steps) + 1, 0, {5});
        const auto samples =
            loaded.nextSamples(static_cast<std::size_t>(c.chunks * static_cast<double>(loaded.chunk())));
        loaded.engine.appendAudio(*monoBuffer(samples));

        EXPECT_EQ(loaded.engine.finish(), c.text) << c.chunks;
        EXPECT_EQ(loaded.chunkSteps(), c.steps + 1) << c.chunks;
        if (c.steps > 0) {
            // The last chunk is the remainder followed by zeros.
            std::vector<float> padded(samples.end() - static_cast<std::ptrdiff_t>(samples.size() % loaded.chunk()),
                                      samples.end());
            padded.resize(loaded.chunk(), 0.0f);
            const auto expected = NemotronMelExtractor::make(16).melSpectrogram(padded);
            const auto call = loaded.encoderCall(c.steps);
            EXPECT_EQ(frameOf(*call.inputs.at("mel").multiArrayValue(), 3), frameOf(*expected, 0)) << c.chunks;
        }
        loaded.engine.processBufferedAudio();
        EXPECT_EQ(loaded.chunkSteps(), c.steps + 1) << "nothing is left after finish";
    }
}

TEST(StreamingNemotronChunkDecodingTest, FinishStartsANewTranscriptWhileTheStreamCarriesOnUntilReset) {
    LoadedEngine loaded;
    loaded.models.script(1, 1, {3});
    loaded.process(loaded.chunk());
    const auto finished = loaded.engine.finishWithTokenTimings();
    EXPECT_EQ(finished.text, "world");
    EXPECT_EQ(finished.timings, std::vector<TokenTiming>{timing("\u2581world", 3, 1)});
    EXPECT_EQ(loaded.engine.getPartialTranscript(), "");
    EXPECT_TRUE(loaded.engine.getTokenTimings().empty());

    // Times keep counting from the last reset; the caches and the last token carry on.
    loaded.models.script(2, 2, {5});
    loaded.process(loaded.chunk());
    EXPECT_EQ(loaded.engine.getTokenTimings(), std::vector<TokenTiming>{timing("\u2581again", 5, 5)});
    EXPECT_EQ(valuesOf(loaded.encoderCall(1), "cache_len"), std::vector<double>{2});
    EXPECT_EQ(valuesOf(loaded.models.decoder().calls()[3], "token"), std::vector<double>{3});

    loaded.engine.reset();
    EXPECT_EQ(loaded.engine.getPartialTranscript(), "");
    loaded.models.script(3, 0, {1});
    const std::size_t before = loaded.models.decoder().calls().size();
    loaded.process(loaded.chunk());
    const auto fresh = loaded.encoderCall(2);
    EXPECT_EQ(valuesOf(fresh, "cache_len"), std::vector<double>{1});
    EXPECT_EQ(frameOf(*fresh.inputs.at("mel").multiArrayValue(), 0), std::vector<double>(16, 0.0));
    EXPECT_EQ(valuesOf(loaded.models.decoder().calls()[before], "token"), std::vector<double>{6});
    EXPECT_EQ(loaded.engine.getTokenTimings(), std::vector<TokenTiming>{timing("\u2581he", 1, 0)});
    EXPECT_EQ(loaded.transcripts, (std::vector<std::string>{"world", "again", "he"}));
}

} // namespace
} // namespace quorl
