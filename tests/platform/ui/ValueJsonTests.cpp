#include "ValuePrinting.hpp"

#include "platform/ui/ValueJson.hpp"
#include "platform/ui/ValueJsonError.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using platform::ui::Bytes;
using platform::ui::toJson;
using platform::ui::Value;
using platform::ui::valueFromJson;
using platform::ui::ValueJsonError;
using platform::ui::ValueList;
using platform::ui::ValueMap;

std::string written(const Value& value) { return toJson(value).dump(); }

Value readBack(const std::string& text) { return valueFromJson(nlohmann::json::parse(text)); }

struct RoundTrip {
    std::string name;
    Value value;
    std::string text;
};

TEST(ValueJson, EveryKindIsWrittenAsDocumentedAndReadsBackAsItWas) {
    const std::vector<RoundTrip> cases = {
        {.name = "null", .value = nullptr, .text = "null"},
        {.name = "bool", .value = true, .text = "true"},
        {.name = "integer", .value = 42, .text = "42"},
        {.name = "largest integer", .value = std::numeric_limits<std::int64_t>::max(), .text = "9223372036854775807"},
        {.name = "smallest integer", .value = std::numeric_limits<std::int64_t>::min(), .text = "-9223372036854775808"},
        {.name = "integral double", .value = 1.0, .text = "1.0"},
        {.name = "negative double", .value = -2.5, .text = "-2.5"},
        {.name = "huge double", .value = 1e300, .text = "1e+300"},
        {.name = "string", .value = "h\xC3\xA9llo \"q\"", .text = "\"h\xC3\xA9llo \\\"q\\\"\""},
        {.name = "bytes", .value = Bytes{.data = {0, 1, 255}}, .text = R"({"$bytes":"AAH/"})"},
        {.name = "no bytes", .value = Bytes{}, .text = R"({"$bytes":""})"},
        {.name = "float32 list",
         .value = std::vector<float>{0.1f, -2.5f},
         .text = R"({"$float32":[0.10000000149011612,-2.5]})"},
        {.name = "nested",
         .value = ValueMap{{"list", ValueList{1, 2.0, ValueMap{}}}, {"type", "level"}},
         .text = R"({"list":[1,2.0,{}],"type":"level"})"},
        {.name = "map holding only a tag", .value = ValueMap{{"$bytes", "x"}}, .text = R"({"$map":{"$bytes":"x"}})"},
        {.name = "map of a map tag",
         .value = ValueMap{{"$map", ValueMap{{"a", 1}}}},
         .text = R"({"$map":{"$map":{"a":1}}})"},
        {.name = "tag among other keys", .value = ValueMap{{"$bytes", 1}, {"b", 2}}, .text = R"({"$bytes":1,"b":2})"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(written(testCase.value), testCase.text) << testCase.name;
        EXPECT_EQ(readBack(testCase.text), testCase.value) << testCase.name;
    }
}

TEST(ValueJson, NumbersReadAsTheKindTheirSpellingSays) {
    EXPECT_EQ(readBack("7"), Value(7));
    EXPECT_EQ(readBack("7.0"), Value(7.0));
    EXPECT_EQ(readBack("7e0"), Value(7.0));
    EXPECT_EQ(readBack("[3, 3.5]"), Value(ValueList{3, 3.5}));
}

TEST(ValueJson, NonFiniteFloatsAreWrittenAsNull) {
    EXPECT_EQ(written(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(written(std::vector<float>{std::numeric_limits<float>::infinity(), 1.0f}), R"({"$float32":[null,1.0]})");
}

struct Malformed {
    std::string text;
    ValueJsonError::Kind kind;
    std::string message;
};

TEST(ValueJson, MalformedEncodingsAreRefusedWithTheirReason) {
    using Kind = ValueJsonError::Kind;
    const std::string badBytes = "\"$bytes\" must hold canonical base64 text";
    const std::string badFloats = "\"$float32\" must hold a list of numbers within the 32-bit float range";
    const std::vector<Malformed> cases = {
        {.text = "18446744073709551615",
         .kind = Kind::integerOutOfRange,
         .message = "integer outside the signed 64-bit range"},
        {.text = R"({"$bytes":5})", .kind = Kind::invalidBytes, .message = badBytes},
        {.text = R"({"$bytes":"abc"})", .kind = Kind::invalidBytes, .message = badBytes},
        {.text = R"({"$bytes":"ab=c"})", .kind = Kind::invalidBytes, .message = badBytes},
        {.text = R"([{"$bytes":"*A=="}])", .kind = Kind::invalidBytes, .message = badBytes},
        {.text = R"({"$float32":3})", .kind = Kind::invalidFloat32List, .message = badFloats},
        {.text = R"({"$float32":[1,"2"]})", .kind = Kind::invalidFloat32List, .message = badFloats},
        {.text = R"({"$float32":[null]})", .kind = Kind::invalidFloat32List, .message = badFloats},
        {.text = R"({"$float32":[1e39]})", .kind = Kind::invalidFloat32List, .message = badFloats},
        {.text = R"({"a":{"$map":[1]}})", .kind = Kind::invalidMap, .message = "\"$map\" must hold an object"},
    };
    for (const auto& testCase : cases) {
        try {
            readBack(testCase.text);
            ADD_FAILURE() << "accepted " << testCase.text;
        } catch (const ValueJsonError& error) {
            EXPECT_EQ(error.kind(), testCase.kind) << testCase.text;
            EXPECT_STREQ(error.what(), testCase.message.c_str()) << testCase.text;
        }
    }
}

} // namespace
