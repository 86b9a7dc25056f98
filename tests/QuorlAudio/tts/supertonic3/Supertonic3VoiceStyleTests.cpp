#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3VoiceStyle.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3VoiceStyleData.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::errorText;
using Component = Supertonic3VoiceStyleData::Component;
using Dims = std::vector<std::int64_t>;

// A component of `rows` rows of `width` values counting up from `first`, stating `dims` as its shape.
Component component(std::size_t rows, std::size_t width, Dims dims, float first = 0.0F) {
    Component result{.data = {{}}, .dims = std::move(dims), .type = "float32"};
    for (std::size_t row = 0; row < rows; ++row) {
        auto& values = result.data.front().emplace_back();
        for (std::size_t column = 0; column < width; ++column) {
            values.push_back(first + static_cast<float>(row * width + column));
        }
    }
    return result;
}

Component ttl(std::size_t rows = 50, Dims dims = {1, 50, 256}) { return component(rows, 256, std::move(dims)); }
Component dp(Dims dims = {1, 8, 16}) { return component(8, 16, std::move(dims), 0.5F); }

class Supertonic3VoiceStyleTest : public testing::Test {
protected:
    fs::path write(const std::string& name, const std::string& content) const {
        const fs::path path = folder.path() / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    fs::path write(const std::string& name, const Component& styleTtl, const Component& styleDp) const {
        return write(name, json(Supertonic3VoiceStyleData{.styleTtl = styleTtl, .styleDp = styleDp}).dump());
    }

    testsupport::TemporaryFolder folder;
};

TEST_F(Supertonic3VoiceStyleTest, LoadsBothTensorsFlattenedAndNamesTheStyleAfterItsFile) {
    const auto style = Supertonic3VoiceStyle::load(write("voice_styles/M2.json", ttl(), dp()));
    EXPECT_EQ(style.name, "M2");
    EXPECT_EQ(style.ttlDims, (Dims{1, 50, 256}));
    EXPECT_EQ(style.dpDims, (Dims{1, 8, 16}));
    ASSERT_EQ(style.ttlValues.size(), 12800U);
    ASSERT_EQ(style.dpValues.size(), 128U);
    EXPECT_EQ(style.ttlValues[257], 257.0F);
    EXPECT_EQ(style.dpValues.back(), 127.5F);

    EXPECT_EQ(Supertonic3VoiceStyle::load(write("custom.voice.json", ttl(), dp())).name, "custom.voice");
}

TEST_F(Supertonic3VoiceStyleTest, AShortTensorLoadsForTheSynthesiserToRefuse) {
    const auto style = Supertonic3VoiceStyle::load(write("short.json", ttl(49), dp()));
    EXPECT_EQ(style.ttlValues.size(), 12544U);
    EXPECT_EQ(style.ttlDims, (Dims{1, 50, 256}));
}

TEST_F(Supertonic3VoiceStyleTest, WrongShapesAreRefusedStyleTtlFirst) {
    const struct {
        Component styleTtl;
        Component styleDp;
        std::string text;
    } cases[] = {
        {ttl(50, {1, 50, 256, 1}), dp(),
         "Supertonic3 voice style style_ttl shape mismatch: expected [1, 50, 256], got [1, 50, 256, 1]"},
        {ttl(), dp({8, 16}), "Supertonic3 voice style style_dp shape mismatch: expected [1, 8, 16], got [8, 16]"},
        {ttl(40, {1, 40, 256}), dp({8, 16}),
         "Supertonic3 voice style style_ttl shape mismatch: expected [1, 50, 256], got [1, 40, 256]"},
    };
    for (const auto& c : cases) {
        const auto path = write("F1.json", c.styleTtl, c.styleDp);
        try {
            Supertonic3VoiceStyle::load(path);
            ADD_FAILURE() << c.text;
        } catch (const Supertonic3Error& error) {
            EXPECT_EQ(error.kind(), Supertonic3Error::Kind::voiceStyleShapeMismatch);
            EXPECT_EQ(std::string(error.what()), c.text);
        }
    }
}

TEST_F(Supertonic3VoiceStyleTest, UnreadableAndMalformedFilesFailToLoad) {
    const fs::path missing = folder.path() / "absent.json";
    const std::string missingText = errorText([&] { Supertonic3VoiceStyle::load(missing); });
    EXPECT_TRUE(missingText.starts_with("Supertonic3 voice style load failed at " + missing.string() + ": "))
        << missingText;

    json document = Supertonic3VoiceStyleData{.styleTtl = ttl(), .styleDp = dp()};
    const std::string valid = document.dump();
    document["style_dp"].erase("type");
    const std::string withoutType = document.dump();
    document = json::parse(valid);
    document["style_ttl"]["data"][0][0][3] = "x";
    const std::string textValue = document.dump();
    document = json::parse(valid);
    document["style_dp"]["dims"][1] = 8.5;
    const std::string fractionalDim = document.dump();
    document = json::parse(valid);
    document["style_ttl"]["data"][0] = json::array({1.0, 2.0});
    const std::string twoLevels = document.dump();

    for (const auto& content : {std::string("{"), withoutType, textValue, fractionalDim, twoLevels}) {
        const auto path = write("broken.json", content);
        try {
            Supertonic3VoiceStyle::load(path);
            ADD_FAILURE() << content.substr(0, 80);
        } catch (const Supertonic3Error& error) {
            EXPECT_EQ(error.kind(), Supertonic3Error::Kind::voiceStyleLoadFailed);
            EXPECT_TRUE(std::string(error.what())
                            .starts_with("Supertonic3 voice style load failed at " + path.string() + ": decode: "))
                << error.what();
        }
    }
}

TEST_F(Supertonic3VoiceStyleTest, StyleDataReadsBackWhatItWrites) {
    const Supertonic3VoiceStyleData data{.styleTtl = component(2, 3, {1, 2, 3}, 0.1F), .styleDp = dp()};
    EXPECT_EQ(json(data).get<Supertonic3VoiceStyleData>(), data);
    EXPECT_EQ(json(data.styleTtl).dump(),
              R"({"data":[[[0.1,1.1,2.1],[3.1,4.1,5.1]]],"dims":[1,2,3],"type":"float32"})");
}

} // namespace
} // namespace quorl
