#pragma once

namespace platform::text {

// Tests of a scalar's Unicode general category. A value that is not a scalar (a surrogate or past U+10FFFF)
// belongs to none of them.

// Punctuation: Pc, Pd, Ps, Pe, Pi, Pf and Po.
bool isPunctuation(char32_t scalar);
// Symbols: Sm, Sc, Sk and So.
bool isSymbol(char32_t scalar);
// Letters: Lu, Ll, Lt, Lm and Lo.
bool isLetter(char32_t scalar);
// Marks: Mn, Mc and Me.
bool isMark(char32_t scalar);
// Decimal digits: Nd.
bool isDecimalDigit(char32_t scalar);
// Letters, marks and numbers (Nd, Nl and No).
bool isAlphanumeric(char32_t scalar);
// Space separators: Zs.
bool isSpaceSeparator(char32_t scalar);
// Control and format characters: Cc and Cf.
bool isControlOrFormat(char32_t scalar);

} // namespace platform::text
