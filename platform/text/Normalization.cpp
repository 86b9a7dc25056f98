#include "platform/text/Normalization.hpp"

#include "platform/text/IcuSupport.hpp"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

namespace platform::text {
namespace {

using NormalizerInstance = const icu::Normalizer2* (*)(UErrorCode&);

const icu::Normalizer2& normalizer(NormalizerInstance instance, std::string_view name) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* found = instance(status);
    icuSupport::check(status, name);
    return *found;
}

icu::UnicodeString normalized(const icu::UnicodeString& text, const icu::Normalizer2& form, std::string_view name) {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString result = form.normalize(text, status);
    icuSupport::check(status, name);
    return result;
}

const icu::Normalizer2& nfcNormalizer() { return normalizer(icu::Normalizer2::getNFCInstance, "loading NFC"); }

} // namespace

std::string nfc(std::string_view text) {
    return icuSupport::toUtf8(normalized(icuSupport::fromUtf8(text), nfcNormalizer(), "normalizing to NFC"));
}

std::string nfkc(std::string_view text) {
    const auto& form = normalizer(icu::Normalizer2::getNFKCInstance, "loading NFKC");
    return icuSupport::toUtf8(normalized(icuSupport::fromUtf8(text), form, "normalizing to NFKC"));
}

std::string nfkd(std::string_view text) {
    const auto& form = normalizer(icu::Normalizer2::getNFKDInstance, "loading NFKD");
    return icuSupport::toUtf8(normalized(icuSupport::fromUtf8(text), form, "normalizing to NFKD"));
}

std::string foldingDiacritics(std::string_view text) {
    const auto& decomposition = normalizer(icu::Normalizer2::getNFDInstance, "loading NFD");
    const icu::UnicodeString decomposed = normalized(icuSupport::fromUtf8(text), decomposition, "normalizing to NFD");
    icu::UnicodeString kept;
    for (int32_t index = 0; index < decomposed.length();) {
        const UChar32 scalar = decomposed.char32At(index);
        if (u_charType(scalar) != U_NON_SPACING_MARK) {
            kept.append(scalar);
        }
        index += U16_LENGTH(scalar);
    }
    return icuSupport::toUtf8(normalized(kept, nfcNormalizer(), "normalizing to NFC"));
}

bool canonicallyEquivalent(std::string_view first, std::string_view second) {
    return first == second || nfc(first) == nfc(second);
}

} // namespace platform::text
