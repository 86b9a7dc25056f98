#pragma once

#include <string>
#include <string_view>
#include <vector>

// Keeps every chunk within the text encoder's 128 positions. The chunker counts characters, but the encoder
// reads the tagged, decomposed text scalar by scalar, and a full Korean chunk decomposes into about three
// scalars per syllable; without a further cut the end of such a chunk would never be spoken.
namespace quorl::Supertonic3ChunkSplitter {

struct Split {
    // The chunks in order, each cut at word boundaries where its tagged form would not fit.
    std::vector<std::string> chunks;
    // Words that do not fit even alone; each is a chunk of its own whose end the encoder drops.
    std::vector<std::string> overlongWords;
};

// `language` tags the text as the encoder will see it; it is not checked here.
Split fitToEncoder(const std::vector<std::string>& chunks, std::string_view language);

} // namespace quorl::Supertonic3ChunkSplitter
