#include "QuorlAudio/tts/supertonic3/Supertonic3MultiArray.hpp"

#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quorl {
namespace {

namespace arrays = Supertonic3MultiArray;
using platform::ml::DataType;
using testsupport::errorText;

TEST(Supertonic3MultiArrayTest, BuildersFillTheShapeInOrderOrNameTheMismatch) {
    const std::vector<float> floats{1.5F, 2.5F, 3.5F, 4.5F, 5.5F, 6.5F};
    const auto array = arrays::makeFloat32(floats, {1, 2, 3});
    EXPECT_EQ(array->dataType(), DataType::float32);
    EXPECT_EQ(testsupport::valuesOf(*array), (std::vector<double>{1.5, 2.5, 3.5, 4.5, 5.5, 6.5}));

    const std::vector<std::int32_t> ids{7, -8};
    EXPECT_EQ(arrays::makeInt32(ids, {2})->dataType(), DataType::int32);
    EXPECT_EQ(errorText([&] {
                  arrays::makeInt32(ids, {1, 3});
              }),
              "Supertonic3 makeInt32 tensor shape mismatch: expected 3 (shape [1, 3]), got 2");
    EXPECT_EQ(errorText([&] { arrays::makeFloat32(floats, {}); }),
              "Supertonic3 makeFloat32 tensor shape mismatch: expected 0 (shape []), got 6");
}

TEST(Supertonic3MultiArrayTest, EveryElementTypeReadsAsFloats) {
    for (const auto type : {DataType::float16, DataType::float32, DataType::float64, DataType::int32}) {
        const auto array = testsupport::makeArray({2, 2}, {1, -2, 3, 4}, type);
        EXPECT_EQ(arrays::extractFloats(*array), (std::vector<float>{1, -2, 3, 4})) << static_cast<int>(type);
    }
}

} // namespace
} // namespace quorl
