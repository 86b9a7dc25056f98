#include "platform/core/Base64.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::core::base64Decode;
using platform::core::Base64Decoding;
using platform::core::base64Encode;

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(Base64, EncodesAndDecodesTheStandardVectors) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : cases) {
        EXPECT_EQ(base64Encode(bytesOf(plain)), encoded) << plain;
        EXPECT_EQ(base64Decode(encoded), bytesOf(plain)) << encoded;
    }
}

TEST(Base64, EveryByteValueSurvivesARoundTrip) {
    std::vector<std::uint8_t> bytes;
    for (int value = 0; value < 256; ++value) {
        bytes.push_back(static_cast<std::uint8_t>(255 - value));
    }
    EXPECT_EQ(base64Encode(bytes).substr(0, 4), "//79");
    EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes);
}

TEST(Base64, RejectsTextThatIsNotCanonical) {
    for (const std::string text :
         {"Zg=", "Zg=a", "Z===", "====", "Zh==", "Zm9=", "Zg==Zg==", "Zm9v\n", "Zm 9", "Zm-v"}) {
        EXPECT_EQ(base64Decode(text), std::nullopt) << text;
    }
}

TEST(Base64, TheLenientModeSkipsCharactersOutsideTheAlphabet) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Zm9v\nYmFy\n", "foobar"},
        {" Zm 9v-Yg\r\n==", "foob"},
        {"\n", ""},
    };
    for (const auto& [encoded, plain] : cases) {
        EXPECT_EQ(base64Decode(encoded, Base64Decoding::ignoringUnknownCharacters), bytesOf(plain)) << encoded;
    }
    // What is left must still be canonical.
    for (const std::string text : {"Zm9\nv=", "Zg=\n=Zg==", "Zh==", "Zm9"}) {
        EXPECT_EQ(base64Decode(text, Base64Decoding::ignoringUnknownCharacters), std::nullopt) << text;
    }
}

} // namespace
