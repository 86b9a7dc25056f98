#include "platform/text/Normalization.hpp"

#include <gtest/gtest.h>

#include <string>

namespace platform::text {
namespace {

TEST(NormalizationTests, NfcComposesCanonicalSequences) {
    EXPECT_EQ(nfc("e\u0301"), "\u00E9");
    EXPECT_EQ(nfc("\u00E9"), "\u00E9");
    // Canonical reordering: the dot below (class 220) goes before the dot above (class 230).
    EXPECT_EQ(nfc("q\u0307\u0323"), "q\u0323\u0307");
    // Compatibility forms are left alone: the "fi" ligature is not canonically equivalent to "fi".
    EXPECT_EQ(nfc("\uFB01"), "\uFB01");
    EXPECT_EQ(nfc("a\xFF"), "a\uFFFD");
}

TEST(NormalizationTests, CanonicalEquivalence) {
    const struct {
        std::string first;
        std::string second;
        bool equivalent;
    } cases[] = {
        {"", "", true},
        {"\u00E9", "e\u0301", true},
        {"\u1E69", "s\u0323\u0307", true},
        {"s\u0307\u0323", "s\u0323\u0307", true},
        {"\u212B", "\u00C5", true},
        {"e", "\u00E9", false},
        {"\uFB01", "fi", false},
        {"E\u0301", "\u00E9", false},
        {"\x80", "\uFFFD", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(canonicallyEquivalent(c.first, c.second), c.equivalent) << c.first << " / " << c.second;
    }
}

TEST(NormalizationTests, CompatibilityFormsAndDiacriticFolding) {
    EXPECT_EQ(nfkc("\uFB01"), "fi");
    EXPECT_EQ(nfkc("\uFF21"), "A");
    EXPECT_EQ(nfkc("e\u0301"), "\u00E9");
    EXPECT_EQ(nfkd("Wait\u2026"), "Wait...");
    EXPECT_EQ(nfkd("\u00E9"), "e\u0301");
    EXPECT_EQ(nfkd("\u00B4"), " \u0301");
    EXPECT_EQ(nfkd("\u2011"), "\u2010");
    EXPECT_EQ(nfkd("\uAC00"), "\u1100\u1161");
    EXPECT_EQ(nfkd("a\xFF"), "a\uFFFD");
    EXPECT_EQ(foldingDiacritics("Caf\u00E9"), "Cafe");
    EXPECT_EQ(foldingDiacritics("Cafe\u0301"), "Cafe");
    EXPECT_EQ(foldingDiacritics("\u00C5ngstr\u00F6m"), "Angstrom");
    EXPECT_EQ(foldingDiacritics("\u00F8"), "\u00F8");
    EXPECT_EQ(foldingDiacritics("plain"), "plain");
}

} // namespace
} // namespace platform::text
