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

} // namespace platform::text
