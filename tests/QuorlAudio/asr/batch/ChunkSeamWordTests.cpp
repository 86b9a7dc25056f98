#include "ChunkProcessorTesting.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace quorl {
namespace {

using Tokens = std::vector<DecodedToken>;

enum Piece {
    the = 1,
    capitalThe,
    allCapitalThe,
    spaceThe,
    lineBrokenThe,
    fullStop,
    comma,
    questionMark,
    wor,
    capitalWor,
    ld,
    first,
    capitalFirst,
    composedAerger,
    decomposedAerger,
    decomposedCapitalAerger,
    unknown = 99,
};

const ChunkProcessor::Vocabulary vocabulary{
    {the, "\u2581the"},
    {capitalThe, "\u2581The"},
    {allCapitalThe, "\u2581THE"},
    {spaceThe, " the"},
    {lineBrokenThe, "\u2581the\n"},
    {fullStop, "."},
    {comma, ","},
    {questionMark, "?"},
    {wor, "\u2581wor"},
    {capitalWor, "\u2581Wor"},
    {ld, "ld"},
    {first, "\u25811st"},
    {capitalFirst, "\u25811ST"},
    {composedAerger, "\u2581\u00E4rger"},
    {decomposedAerger, "\u2581a\u0308rger"},
    {decomposedCapitalAerger, "\u2581A\u0308rger"},
};

DecodedToken at(int frame, Piece piece) {
    return DecodedToken{.token = piece, .timestamp = frame, .confidence = 0.8f, .duration = 1};
}

ChunkSeamMerger collapser() { return standardChunkProcessor(nullptr, 0).merger(); }

TEST(ChunkSeamWords, KeepsOneLowerCaseCopyOfAWordTheSeamDecodedTwice) {
    const struct {
        const char* name;
        Tokens tokens;
        Tokens expected;
    } cases[] = {
        {"capital second", {at(100, the), at(110, capitalThe)}, {at(100, the)}},
        {"capital first", {at(100, capitalThe), at(110, the)}, {at(110, the)}},
        {"a full stop starts a sentence",
         {at(100, the), at(104, fullStop), at(110, capitalThe)},
         {at(100, the), at(104, fullStop), at(110, capitalThe)}},
        {"a question mark starts a sentence",
         {at(100, the), at(104, questionMark), at(110, capitalThe)},
         {at(100, the), at(104, questionMark), at(110, capitalThe)}},
        {"a comma does not", {at(100, the), at(104, comma), at(110, capitalThe)}, {at(100, the), at(104, comma)}},
        {"exact repeats stay", {at(100, the), at(110, the)}, {at(100, the), at(110, the)}},
        {"canonically equal repeats stay",
         {at(100, composedAerger), at(110, decomposedAerger)},
         {at(100, composedAerger), at(110, decomposedAerger)}},
        {"case compared across canonical forms",
         {at(100, composedAerger), at(110, decomposedCapitalAerger)},
         {at(100, composedAerger)}},
        {"25 frames apart is within the window", {at(100, the), at(125, capitalThe)}, {at(100, the)}},
        {"26 frames apart is not", {at(100, the), at(126, capitalThe)}, {at(100, the), at(126, capitalThe)}},
        {"words of several tokens go whole",
         {at(100, wor), at(101, ld), at(110, capitalWor), at(111, ld)},
         {at(100, wor), at(101, ld)}},
        {"a dropped capital leaves the reference in place",
         {at(100, the), at(105, capitalThe), at(110, allCapitalThe)},
         {at(100, the)}},
        {"the lower-case word becomes the reference",
         {at(100, capitalThe), at(110, the), at(120, capitalThe)},
         {at(110, the)}},
        {"a word not starting with a letter stays",
         {at(100, first), at(110, capitalFirst)},
         {at(100, first), at(110, capitalFirst)}},
        {"a space opens a word like the marker", {at(100, spaceThe), at(110, capitalThe)}, {at(100, spaceThe)}},
        {"a line break is part of the word",
         {at(100, lineBrokenThe), at(110, capitalThe)},
         {at(100, lineBrokenThe), at(110, capitalThe)}},
        {"an unknown id continues its word",
         {at(100, the), at(105, unknown), at(110, capitalThe)},
         {at(100, the), at(105, unknown)}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(collapser().collapseSeamWordDuplicates(testCase.tokens, vocabulary), testCase.expected);
    }
}

TEST(ChunkSeamWords, LeavesTheTokensAloneWithoutAVocabularyOrASecondToken) {
    const Tokens duplicates{at(100, the), at(110, capitalThe)};
    EXPECT_EQ(collapser().collapseSeamWordDuplicates(duplicates, {}), duplicates);
    EXPECT_EQ(collapser().collapseSeamWordDuplicates({at(100, capitalThe)}, vocabulary), Tokens{at(100, capitalThe)});
    EXPECT_EQ(collapser().collapseSeamWordDuplicates({}, vocabulary), Tokens{});
}

} // namespace
} // namespace quorl
