#include "platform/text/CharacterCategory.hpp"

#include <unicode/uchar.h>

#include <cstdint>

namespace platform::text {
namespace {

bool inCategories(char32_t scalar, std::uint32_t mask) {
    const bool isScalar = scalar <= 0x10FFFF && (scalar < 0xD800 || scalar > 0xDFFF);
    return isScalar && (U_GET_GC_MASK(static_cast<UChar32>(scalar)) & mask) != 0;
}

} // namespace

bool isPunctuation(char32_t scalar) { return inCategories(scalar, U_GC_P_MASK); }

bool isSymbol(char32_t scalar) { return inCategories(scalar, U_GC_S_MASK); }

bool isLetter(char32_t scalar) { return inCategories(scalar, U_GC_L_MASK); }

bool isMark(char32_t scalar) { return inCategories(scalar, U_GC_M_MASK); }

bool isDecimalDigit(char32_t scalar) { return inCategories(scalar, U_GC_ND_MASK); }

bool isAlphanumeric(char32_t scalar) { return inCategories(scalar, U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK); }

bool isSpaceSeparator(char32_t scalar) { return inCategories(scalar, U_GC_ZS_MASK); }

bool isControlOrFormat(char32_t scalar) { return inCategories(scalar, U_GC_CC_MASK | U_GC_CF_MASK); }

} // namespace platform::text
