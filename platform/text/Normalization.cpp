#include "platform/text/Normalization.hpp"

#include "platform/text/IcuSupport.hpp"

#include <unicode/normalizer2.h>

namespace platform::text {
namespace {

const icu::Normalizer2& nfcNormalizer() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    icuSupport::check(status, "loading the NFC normalizer");
    return *normalizer;
}

} // namespace

std::string nfc(std::string_view text) {
    const icu::Normalizer2& normalizer = nfcNormalizer();
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString normalized = normalizer.normalize(icuSupport::fromUtf8(text), status);
    icuSupport::check(status, "normalizing to NFC");
    return icuSupport::toUtf8(normalized);
}

bool canonicallyEquivalent(std::string_view first, std::string_view second) {
    return first == second || nfc(first) == nfc(second);
}

} // namespace platform::text
