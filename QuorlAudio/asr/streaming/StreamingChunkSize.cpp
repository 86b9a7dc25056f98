#include "QuorlAudio/asr/streaming/StreamingChunkSize.hpp"

#include <array>
#include <cstddef>

namespace quorl {
namespace {

struct Geometry {
    int chunkSamples;
    int shiftSamples;
    int melFrames;
    int durationMs;
    int validOutputLen;
    int preCacheSize;
    const char* modelSubdirectory;
    Repo repo;
};

// In declaration order.
constexpr std::array<Geometry, 3> geometries{{
    {2560, 1280, 17, 160, 2, 16, "160ms", Repo::parakeetEou160},
    {10080, 5120, 64, 630, 4, 9, "320ms", Repo::parakeetEou320},
    {20480, 20480, 129, 1280, 16, 16, "1280ms", Repo::parakeetEou1280},
}};

const Geometry& geometry(StreamingChunkSize chunkSize) { return geometries[static_cast<std::size_t>(chunkSize)]; }

} // namespace

int chunkSamples(StreamingChunkSize chunkSize) { return geometry(chunkSize).chunkSamples; }
int shiftSamples(StreamingChunkSize chunkSize) { return geometry(chunkSize).shiftSamples; }
int melFrames(StreamingChunkSize chunkSize) { return geometry(chunkSize).melFrames; }
int durationMs(StreamingChunkSize chunkSize) { return geometry(chunkSize).durationMs; }
int validOutputLen(StreamingChunkSize chunkSize) { return geometry(chunkSize).validOutputLen; }
int preCacheSize(StreamingChunkSize chunkSize) { return geometry(chunkSize).preCacheSize; }
std::string modelSubdirectory(StreamingChunkSize chunkSize) { return geometry(chunkSize).modelSubdirectory; }
Repo repo(StreamingChunkSize chunkSize) { return geometry(chunkSize).repo; }

} // namespace quorl
