#include "Mirvo/TaiwanConverter.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace mirvo {
namespace {

TEST(TaiwanConverterTests, SimplifiedTextTakesTaiwansCharactersAndIdioms) {
    const TaiwanConverter converter;
    EXPECT_EQ(converter.convert("\u6211\u4eec\u7528\u8f6f\u4ef6\u6253\u5370\u6587\u4ef6"),
              "\u6211\u5011\u7528\u8edf\u9ad4\u5217\u5370\u6a94\u6848");
    EXPECT_EQ(converter.convert("\u9f20\u6807"), "\u6ed1\u9f20");
    EXPECT_EQ(converter.convert(""), "");
}

TEST(TaiwanConverterTests, MissingDictionariesFailTheConstruction) {
    EXPECT_THROW(TaiwanConverter("/nonexistent/s2twp.json"), std::runtime_error);
}

} // namespace
} // namespace mirvo
