#include "QuorlAudio/tts/pockettts/PocketTtsConstantsLoader.hpp"

#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <string>

namespace quorl {
namespace {

using namespace pocketttsfixtures;
using PocketTtsConstantsLoader::LoadError;
using Kind = LoadError::Kind;
using nlohmann::json;

constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();

using Outcome = LoadOutcome;

std::vector<Tensor> without(std::vector<Tensor> tensors, const std::string& name) {
    std::erase_if(tensors, [&](const Tensor& tensor) { return tensor.name == name; });
    return tensors;
}

std::vector<Tensor> changed(std::vector<Tensor> tensors, const std::string& name,
                            const std::function<void(Tensor&)>& change) {
    for (auto& tensor : tensors) {
        if (tensor.name == name) {
            change(tensor);
        }
    }
    return tensors;
}

std::string withHeaderLength(std::uint64_t length, std::size_t totalSize) {
    std::string bytes(totalSize, ' ');
    std::memcpy(bytes.data(), &length, 8);
    return bytes;
}

// One tensor of 8 data bytes with the given offsets.
std::string oneTensor(const json& offsets) {
    return safetensorsFile(json{{"t", {{"dtype", "I64"}, {"shape", {1}}, {"data_offsets", offsets}}}},
                           std::string(8, '\0'));
}

std::string prefixed(const std::string& text) { return "alba.safetensors: " + text; }

class PocketTtsVoiceLoadingTests : public testing::Test {
protected:
    void writeVoice(const std::string& name, std::string_view bytes) {
        writeFile(folder.path() / "constants_bin" / (name + ".safetensors"), bytes);
    }

    std::optional<Outcome> voiceFailure(std::string_view voice) {
        return loadFailure([&] { PocketTtsConstantsLoader::loadVoice(voice, folder.path()); });
    }

    testsupport::TemporaryFolder folder;
};

TEST_F(PocketTtsVoiceLoadingTests, LoadsASixLayerVoiceInLayerOrder) {
    writeVoice("alba", safetensorsFile(voiceTensors(6, 3)));
    testsupport::RecordingLogSink sink;
    const auto voice = PocketTtsConstantsLoader::loadVoice("al-b!a", folder.path());
    EXPECT_TRUE(voice.audioPrompt.empty());
    EXPECT_EQ(voice.promptLength, 0);
    ASSERT_TRUE(voice.cacheSnapshot.has_value());
    EXPECT_EQ(voice.cacheSnapshot->cacheSeqLen, 3);
    ASSERT_EQ(voice.cacheSnapshot->layers.size(), 6U);
    for (std::size_t layer = 0; layer < 6; ++layer) {
        const auto& cache = voice.cacheSnapshot->layers[layer];
        ASSERT_EQ(cache.cache.size(), 2U * 3U * 16U * 64U);
        EXPECT_EQ(cache.cache[5], static_cast<float>(layer * 1000 + 5));
        EXPECT_EQ(cache.offset, static_cast<std::int64_t>(10 + layer));
    }
    EXPECT_EQ(sink.messages("PocketTtsConstantsLoader"),
              std::vector<std::string>{"Loaded PocketTTS voice 'alba' from safetensors (6 layers, seq=3)"});
}

TEST_F(PocketTtsVoiceLoadingTests, AcceptsMetadataStrayEntriesAndATensorEndingAtTheEnd) {
    json header = json::object();
    header["__metadata__"] = {{"format", "pt"}, {"anything", {1, 2}}};
    header["note"] = "not a tensor";
    // The last tensor written ends at the file's last byte.
    writeVoice("alba", safetensorsFile(voiceTensors(1, 1), header));
    EXPECT_EQ(voiceFailure("alba"), std::nullopt);
}

TEST_F(PocketTtsVoiceLoadingTests, RefusesBadNamesAndMissingFiles) {
    EXPECT_EQ(voiceFailure(".././/"), (Outcome{Kind::fileNotFound, "invalid voice name: .././/"}));
    EXPECT_EQ(voiceFailure("ma-rius"), (Outcome{Kind::fileNotFound, "marius.safetensors"}));
}

TEST_F(PocketTtsVoiceLoadingTests, RefusesFaultyHeaders) {
    const std::string tooLong = withHeaderLength(100, 60);
    const std::string pastEnd = oneTensor({0, 9});
    const std::string negativeBegin = oneTensor({-16, 4});
    const std::string hugeEnd = oneTensor({0, int64Max - 10});
    const auto size = [](const std::string& bytes) { return static_cast<std::int64_t>(bytes.size()); };
    const struct {
        std::string name;
        std::string bytes;
        Outcome outcome;
    } cases[] = {
        {"too small", std::string(7, '\0'), {Kind::invalidSize, prefixed("too small"), 8, 7}},
        {"header length past Int.max",
         withHeaderLength(std::uint64_t{1} << 63U, 16),
         {Kind::invalidSize, prefixed("header length 9223372036854775808 exceeds Int.max"), int64Max, 16}},
        {"header past the file", tooLong, {Kind::invalidSize, prefixed("header overflow"), 60, 100}},
        {"not an object",
         safetensorsFile(json::array(), ""),
         {Kind::malformed, prefixed("header is not a JSON object")}},
        {"three offsets", oneTensor({0, 4, 8}), {Kind::malformed, prefixed("malformed entry 't'")}},
        {"shape of text",
         safetensorsFile(json{{"t", {{"dtype", "I64"}, {"shape", {"1"}}, {"data_offsets", {0, 8}}}}}, ""),
         {Kind::malformed, prefixed("bad shape for 't'")}},
        {"offset of text", oneTensor({0, "8"}), {Kind::malformed, prefixed("bad offsets for 't'")}},
        {"fractional offset", oneTensor({0, 7.5}), {Kind::malformed, prefixed("bad offsets for 't'")}},
        {"negative span", oneTensor({8, 4}), {Kind::invalidSize, prefixed("negative span for 't'"), 8, 4}},
        {"past the end",
         pastEnd,
         {Kind::invalidSize, prefixed("tensor 't' overflows file"), size(pastEnd), size(pastEnd) + 1}},
        {"negative begin",
         negativeBegin,
         {Kind::invalidSize, prefixed("tensor 't' overflows file"), size(negativeBegin), size(negativeBegin) - 4}},
        {"offsets overflowing the data start",
         hugeEnd,
         {Kind::invalidSize, prefixed("tensor 't' overflows file"), size(hugeEnd), int64Max}},
    };
    for (const auto& testCase : cases) {
        writeVoice("alba", testCase.bytes);
        EXPECT_EQ(voiceFailure("alba"), testCase.outcome) << testCase.name;
    }
}

TEST_F(PocketTtsVoiceLoadingTests, ReportsTheJsonParsersError) {
    std::string bytes = withHeaderLength(5, 13);
    bytes.replace(8, 5, "{\"a\":");
    writeVoice("alba", bytes);
    const auto outcome = voiceFailure("alba");
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->kind, Kind::malformed);
    EXPECT_TRUE(outcome->text.starts_with(prefixed("header JSON parse failed: [json.exception.parse_error")))
        << outcome->text;
}

TEST_F(PocketTtsVoiceLoadingTests, RefusesFaultyLayers) {
    const auto valid = voiceTensors(2, 2);
    const std::string cache1 = "transformer.layers.1.self_attn/cache";
    const std::string offset0 = "transformer.layers.0.self_attn/offset";
    const std::string offset1 = "transformer.layers.1.self_attn/offset";
    auto gapped = voiceTensors(2, 2);
    for (auto& tensor : layerTensors(3, 2)) {
        gapped.push_back(tensor);
    }
    const struct {
        std::string name;
        std::vector<Tensor> tensors;
        Outcome outcome;
    } cases[] = {
        {"no caches",
         {Tensor{.name = "other", .dtype = "F32", .shape = {1}, .data = std::string(4, '\0')}},
         {Kind::invalidSize, prefixed("no transformer.layers.*.self_attn/cache entries"), 1, 0}},
        {"gap at layer 2", gapped, {Kind::invalidSize, prefixed("layer indices not contiguous (gap at 2)"), 2, 3}},
        {"an offset missing",
         without(valid, offset1),
         {Kind::malformed, prefixed("cache/offset layer indices differ (caches: [0, 1], offsets: [0])")}},
        {"twelve heads",
         changed(valid, cache1,
                 [](Tensor& tensor) {
                     tensor.shape = {2, 1, 2, 12, 64};
                 }),
         {Kind::malformed, prefixed("cache shape mismatch at layer 1 ([2, 1, 2, 12, 64] vs [2, 1, 2, 16, 64])")}},
        {"half-precision cache",
         changed(valid, cache1, [](Tensor& tensor) { tensor.dtype = "F16"; }),
         {Kind::malformed, prefixed("layer 1 cache dtype F16 (want F32)")}},
        {"offset of shape [1, 1]",
         changed(valid, offset0,
                 [](Tensor& tensor) {
                     tensor.shape = {1, 1};
                 }),
         {Kind::malformed, prefixed("layer 0 offset shape/dtype unexpected ([1, 1], I64)")}},
        {"32-bit offset",
         changed(valid, offset0, [](Tensor& tensor) { tensor.dtype = "I32"; }),
         {Kind::malformed, prefixed("layer 0 offset shape/dtype unexpected ([1], I32)")}},
        {"offset under 8 bytes",
         changed(valid, offset1, [](Tensor& tensor) { tensor.data.resize(4); }),
         {Kind::malformed, prefixed("layer 1 offset holds 4 bytes (want 8)")}},
    };
    for (const auto& testCase : cases) {
        writeVoice("alba", safetensorsFile(testCase.tensors));
        EXPECT_EQ(voiceFailure("alba"), testCase.outcome) << testCase.name;
    }
}

TEST_F(PocketTtsVoiceLoadingTests, RefusesAnUnexpectedFirstCacheShapeOrAShorterLaterOne) {
    auto twelveHeads = voiceTensors(1, 100);
    twelveHeads[0].shape = {2, 1, 100, 12, 64};
    writeVoice("alba", safetensorsFile(twelveHeads));
    EXPECT_EQ(voiceFailure("alba"), (Outcome{Kind::malformed, prefixed("unexpected cache shape [2, 1, 100, 12, 64]")}));

    auto mixed = voiceTensors(1, 100);
    for (auto& tensor : layerTensors(1, 99)) {
        mixed.push_back(tensor);
    }
    writeVoice("alba", safetensorsFile(mixed));
    EXPECT_EQ(voiceFailure("alba"),
              (Outcome{Kind::malformed,
                       prefixed("cache shape mismatch at layer 1 ([2, 1, 99, 16, 64] vs [2, 1, 100, 16, 64])")}));
}

} // namespace
} // namespace quorl
